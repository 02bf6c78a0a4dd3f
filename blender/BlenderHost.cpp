#include "blender/BlenderHost.h"

#include <new>

namespace {

class MemoryBitmap : public Bitmap {
public:
    MemoryBitmap(MemoryBitmapManager* manager, int w, int h) : manager_(manager) {
        image_.width = w;
        image_.height = h;
        image_.pixels.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
    }
    int Width() override { return image_.width; }
    int Height() override { return image_.height; }
    int PutPixels(int x, int y, int count, const BMM_Color_64* px) override {
        if (!px || y < 0 || y >= image_.height || x < 0 || x >= image_.width || count <= 0) return 0;
        int n = 0;
        const size_t row = static_cast<size_t>(y) * static_cast<size_t>(image_.width);
        for (; n < count && x + n < image_.width; ++n) image_.pixels[row + static_cast<size_t>(x + n)] = px[n];
        return n;
    }
    int OpenOutput(BitmapInfo* bi) override {
        open_ = bi && bi->Name() && *bi->Name();
        return open_ ? 1 : 0;
    }
    int Write(BitmapInfo*, int) override {
        if (!open_) return 0;
        manager_->Keep(image_);
        return 1;
    }
    int Close(BitmapInfo*, int) override {
        open_ = false;
        return 1;
    }
    void DeleteThis() override {
        manager_->Released();
        delete this;
    }

private:
    MemoryBitmapManager* manager_;
    WrittenBitmap image_;
    bool open_ = false;
};

}  // namespace

INode* BlenderHost::GetSelNode(int i) {
    return i >= 0 && i < GetSelNodeCount() ? selection_[static_cast<size_t>(i)] : nullptr;
}

Bitmap* MemoryBitmapManager::Create(BitmapInfo* bi) {
    if (!bi || bi->Width() == 0 || bi->Height() == 0) return nullptr;
    try {
        auto* bitmap = new MemoryBitmap(this, bi->Width(), bi->Height());
        live_++;
        return bitmap;
    } catch (const std::bad_alloc&) {
        return nullptr;  // no storage: the run writes nothing
    }
}

BOOL MemoryBitmapManager::SelectFileOutput(BitmapInfo* bi, HWND, const char*, int) {
    if (!bi || outputName.empty()) return FALSE;
    bi->SetName(outputName.c_str());
    return TRUE;
}

ScopedHostInstall::ScopedHostInstall(Interface* core, BitmapManager* manager, MessageBoxHandler boxes)
    : prevCore_(SetCOREInterface(core)),
      prevManager_(SetTheManager(manager)),
      prevBoxes_(SetMessageBoxHandler(std::move(boxes))) {}

ScopedHostInstall::~ScopedHostInstall() {
    SetMessageBoxHandler(std::move(prevBoxes_));
    SetTheManager(prevManager_);
    SetCOREInterface(prevCore_);
}
