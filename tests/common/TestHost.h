// A scripted host for tests: a scene of test nodes, a selection, cancel at the k-th poll, scripted
// answers to questions and to the file selection, and a record of every message box, debug line,
// assertion, progress call, change notice and bitmap written. Constructing a TestHost installs it
// as the current host; destroying it restores the previous one.
#pragma once
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "host/Assert.h"
#include "host/Bitmap.h"
#include "host/Dialog.h"
#include "host/Interface.h"
#include "host/MessageBox.h"
#include "host/Rollup.h"
#include "host/Scene.h"

// A triangle-mesh object, as an editable mesh: converts to itself.
class TestTriObject : public TriObject {
public:
    SClass_ID SuperClassID() override { return 0x10; }  // geometric object
    int CanConvertToType(Class_ID cid) override { return cid == triObjectClassID; }
    Object* ConvertToType(TimeValue, Class_ID cid) override { return cid == triObjectClassID ? this : nullptr; }
    void DeleteThis() override { deleteCalls++; }  // owned by the test
    int deleteCalls = 0;
};

// An object that converts to a triangle mesh by making a new TriObject (a parametric object, or
// the result of a modifier stack). Counts the copies it made and how many were deleted.
class TestConvertibleObject : public Object {
public:
    Mesh mesh;
    SClass_ID SuperClassID() override { return 0x10; }
    int CanConvertToType(Class_ID cid) override { return cid == triObjectClassID; }
    Object* ConvertToType(TimeValue, Class_ID cid) override;
    void DeleteThis() override {}
    int copiesMade = 0;
    int copiesDeleted = 0;
    bool conversionYieldsNothing = false;
};

// An object that cannot become a triangle mesh (a light, a shape).
class TestUnconvertibleObject : public Object {
public:
    SClass_ID SuperClassID() override { return 0x30; }
    int CanConvertToType(Class_ID) override { return 0; }
    Object* ConvertToType(TimeValue, Class_ID) override { return nullptr; }
    void DeleteThis() override {}
};

// The wrapper that carries modifiers (class family 2) around another object.
class TestWrapperObject : public Object {
public:
    explicit TestWrapperObject(Object* wrapped) : wrapped_(wrapped) {}
    SClass_ID SuperClassID() override { return GEN_DERIVOB_CLASS_ID; }
    Object* GetObjRef() override { return wrapped_; }
    int CanConvertToType(Class_ID cid) override { return wrapped_->CanConvertToType(cid); }
    Object* ConvertToType(TimeValue t, Class_ID cid) override;
    void DeleteThis() override {}

private:
    Object* wrapped_;
};

struct ChangeNotice {
    PartID part;
    RefMessage message;
    SClass_ID sclass;
    Interval interval;
};

class TestNode : public INode {
public:
    TestNode(std::string name, Object* object) : name_(std::move(name)), object_(object), evaluated_(object) {}
    const char* GetName() override { return name_.c_str(); }
    ObjectState EvalWorldState(TimeValue, BOOL) override { return ObjectState{evaluated_}; }
    Object* GetObjectRef() override { return object_; }
    int NotifyDependents(Interval iv, PartID part, RefMessage msg, SClass_ID sclass, BOOL, void*) override {
        notices.push_back({part, msg, sclass, iv});
        return 1;
    }
    // What EvalWorldState yields (defaults to the referenced object).
    void SetEvaluated(Object* o) { evaluated_ = o; }
    std::vector<ChangeNotice> notices;

private:
    std::string name_;
    Object* object_;
    Object* evaluated_;
};

// A mouse message a rollup page passed on to the host.
struct RollupMouse {
    HWND page;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
};

struct RecordedBox {
    std::string text, caption;
    UINT type;
};

// A bitmap written through the test bitmap manager.
struct WrittenBitmap {
    std::string file;
    int width = 0, height = 0;
    std::vector<BMM_Color_64> pixels;  // row-major, width * height
    BMM_Color_64 At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

class TestHost : public Interface, public BitmapManager {
public:
    TestHost();
    ~TestHost() override;
    TestHost(const TestHost&) = delete;
    TestHost& operator=(const TestHost&) = delete;

    // ---- Script ----
    std::vector<INode*> selection;
    TimeValue time = 0;
    // GetCancel answers non-zero from its k-th call on (1-based); 0 never cancels.
    int cancelAtPoll = 0;
    // When set, GetCancel also answers non-zero whenever this returns true (it is asked on the
    // run's thread, at every GetCancel call).
    std::function<bool()> cancelWhen;
    // Answers to Yes/No boxes, in order; when they run out the answer is IDNO.
    std::vector<int> answers;
    // The file selection: chosen file name, or decline when empty.
    std::string outputFile = "out.png";
    bool bitmapCreateFails = false;
    std::string pluginConfigDir = ".";

    // ---- Record ----
    std::vector<RecordedBox> boxes;
    std::vector<std::string> debugLines;
    std::vector<std::pair<int, std::string>> assertions;  // (line, module)
    std::vector<std::string> progressTitles;
    std::vector<int> progressUpdates;
    int progressEnds = 0;
    int cancelPolls = 0;
    int bitmapsCreated = 0, bitmapsDeleted = 0, fileSelections = 0;
    std::vector<WrittenBitmap> written;

    // Message box texts only, for compact assertions.
    std::vector<std::string> BoxTexts() const;

    // ---- Interface ----
    int GetSelNodeCount() override { return static_cast<int>(selection.size()); }
    INode* GetSelNode(int i) override { return i >= 0 && i < GetSelNodeCount() ? selection[static_cast<size_t>(i)] : nullptr; }
    TimeValue GetTime() override { return time; }
    void ProgressStart(const char* title, BOOL, LPTHREAD_START_ROUTINE, LPVOID) override;
    void ProgressUpdate(int pct, BOOL, const char*) override { progressUpdates.push_back(pct); }
    void ProgressEnd() override { progressEnds++; }
    BOOL GetCancel() override;
    HWND GetMAXHWnd() override { return mainWindow; }
    const char* GetDir(int which) override { return which == APP_PLUGCFG_DIR ? pluginConfigDir.c_str() : ""; }
    HWND AddRollupPage(HINSTANCE hInst, int dialogId, DLGPROC proc, const char* title, LPARAM param, DWORD flags,
                       int category) override {
        return rollups.AddPage(hInst, dialogId, proc, title, param, flags, category);
    }
    void DeleteRollupPage(HWND page) override { rollups.DeletePage(page); }
    void RollupMouseMessage(HWND page, UINT message, WPARAM wParam, LPARAM lParam) override {
        rollupMouse.push_back({page, message, wParam, lParam});
    }

    // ---- Panel and dialogs ----
    // The host's main window (active while no modal dialog runs) and its command panel.
    HWND mainWindow = nullptr;
    RollupPanel rollups;
    std::vector<RollupMouse> rollupMouse;
    // What the user does in modal dialogs: one step per turn of the modal loop, in order; a
    // modal dialog left open when the steps run out ends with -1. The template ids of the modal
    // dialogs shown are recorded.
    std::vector<std::function<void(HWND dialog)>> modalSteps;
    std::vector<int> modalDialogsShown;

    // ---- BitmapManager ----
    Bitmap* Create(BitmapInfo* bi) override;
    BOOL SelectFileOutput(BitmapInfo* bi, HWND parent, const char* title, int flags) override;

private:
    Interface* prevCore_;
    BitmapManager* prevManager_;
    MessageBoxHandler prevBox_;
    DebugSink prevDebug_;
    AssertSink prevAssert_;
    ModalDialogDriver prevModalDriver_;
    HWND prevActive_ = nullptr;
    HWND lastModalDialog_ = nullptr;
};
