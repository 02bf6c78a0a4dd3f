#include "tests/common/TestHost.h"

#include <mutex>

Object* TestConvertibleObject::ConvertToType(TimeValue, Class_ID cid) {
    if (cid != triObjectClassID || conversionYieldsNothing) return nullptr;
    // A fresh TriObject that reports its deletion back to this object.
    class Copy : public TestTriObject {
    public:
        explicit Copy(TestConvertibleObject* owner) : owner_(owner) {}
        void DeleteThis() override {
            owner_->copiesDeleted++;
            delete this;
        }

    private:
        TestConvertibleObject* owner_;
    };
    auto* copy = new Copy(this);
    copy->mesh = mesh;
    copiesMade++;
    return copy;
}

Object* TestWrapperObject::ConvertToType(TimeValue t, Class_ID cid) {
    // A wrapper's pipeline result is never the wrapper itself.
    return wrapped_->ConvertToType(t, cid);
}

namespace {
class TestBitmap : public Bitmap {
public:
    TestBitmap(TestHost* host, int w, int h) : host_(host), w_(w), h_(h), pixels_(static_cast<size_t>(w) * h) {}
    int Width() override { return w_; }
    int Height() override { return h_; }
    int PutPixels(int x, int y, int count, const BMM_Color_64* px) override {
        if (y < 0 || y >= h_ || x < 0) return 0;
        int n = 0;
        for (; n < count && x + n < w_; ++n) pixels_[static_cast<size_t>(y) * w_ + x + n] = px[n];
        return n;
    }
    int OpenOutput(BitmapInfo* bi) override {
        file_ = bi->Name();
        open_ = true;
        return 1;
    }
    int Write(BitmapInfo*, int) override {
        if (!open_) return 0;
        host_->written.push_back({file_, w_, h_, pixels_});
        return 1;
    }
    int Close(BitmapInfo*, int) override {
        open_ = false;
        return 1;
    }
    void DeleteThis() override {
        host_->bitmapsDeleted++;
        delete this;
    }

private:
    TestHost* host_;
    int w_, h_;
    std::vector<BMM_Color_64> pixels_;
    std::string file_;
    bool open_ = false;
};
}  // namespace

TestHost::TestHost() : mainWindow(CreateFrameWindow("Test host", RECT{0, 0, 1280, 1024})) {
    prevActive_ = SetActiveWindow(mainWindow);
    prevModalDriver_ = SetModalDialogDriver([this](HWND dialog) {
        const Window* w = FindWindowRecord(dialog);
        if (w && dialog != lastModalDialog_) modalDialogsShown.push_back(w->templateId);
        lastModalDialog_ = dialog;
        if (modalSteps.empty()) return false;
        const auto step = std::move(modalSteps.front());
        modalSteps.erase(modalSteps.begin());
        step(dialog);
        return true;
    });
    prevCore_ = SetCOREInterface(this);
    prevManager_ = SetTheManager(this);
    prevBox_ = SetMessageBoxHandler([this](const std::string& text, const std::string& caption, UINT type) {
        boxes.push_back({text, caption, type});
        if ((type & 0xFu) != MB_YESNO) return IDOK;
        if (answers.empty()) return IDNO;
        const int a = answers.front();
        answers.erase(answers.begin());
        return a;
    });
    // Debug lines and assertions may come from worker threads.
    static std::mutex recordMutex;
    prevDebug_ = SetDebugSink([this](const std::string& line) {
        std::lock_guard<std::mutex> lock(recordMutex);
        debugLines.push_back(line);
    });
    prevAssert_ = SetAssertSink([this](int line, const char* file) {
        std::lock_guard<std::mutex> lock(recordMutex);
        assertions.emplace_back(line, file ? file : "");
    });
}

TestHost::~TestHost() {
    // Pages still open go while this host is installed: their procedures may still call it.
    rollups.DeleteAll();
    SetModalDialogDriver(std::move(prevModalDriver_));
    SetActiveWindow(prevActive_);
    DestroyWindow(mainWindow);
    SetCOREInterface(prevCore_);
    SetTheManager(prevManager_);
    SetMessageBoxHandler(std::move(prevBox_));
    SetDebugSink(std::move(prevDebug_));
    SetAssertSink(std::move(prevAssert_));
}

std::vector<std::string> TestHost::BoxTexts() const {
    std::vector<std::string> texts;
    for (const auto& b : boxes) texts.push_back(b.text);
    return texts;
}

void TestHost::ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE, LPVOID) {
    progressTitles.push_back(title ? title : "");
}

BOOL TestHost::GetCancel() {
    cancelPolls++;
    if (cancelAtPoll > 0 && cancelPolls >= cancelAtPoll) return TRUE;
    return cancelWhen && cancelWhen() ? TRUE : FALSE;
}

Bitmap* TestHost::Create(BitmapInfo* bi) {
    if (bitmapCreateFails) return nullptr;
    bitmapsCreated++;
    return new TestBitmap(this, bi->Width(), bi->Height());
}

BOOL TestHost::SelectFileOutput(BitmapInfo* bi, HWND, const char*, int) {
    fileSelections++;
    if (outputFile.empty()) return FALSE;
    bi->SetName(outputFile.c_str());
    return TRUE;
}
