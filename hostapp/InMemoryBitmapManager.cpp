#include "hostapp/InMemoryBitmapManager.h"

#include <new>

namespace {

class InMemoryBitmap : public Bitmap {
public:
    InMemoryBitmap(InMemoryBitmapManager* manager, int w, int h) : manager_(manager) {
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
        target_ = bi && bi->Name() ? bi->Name() : "";
        open_ = !target_.empty();
        return open_ ? 1 : 0;
    }
    int Write(BitmapInfo*, int) override { return manager_->WriteOutput(target_, open_, image_); }
    int Close(BitmapInfo*, int) override {
        open_ = false;
        return 1;
    }
    void DeleteThis() override {
        manager_->BitmapReleased();
        delete this;
    }

private:
    InMemoryBitmapManager* manager_;
    BitmapPixels image_;
    std::string target_;
    bool open_ = false;
};

}  // namespace

Bitmap* InMemoryBitmapManager::Create(BitmapInfo* bi) {
    if (!bi || bi->Width() == 0 || bi->Height() == 0) return nullptr;
    try {
        auto* bitmap = new InMemoryBitmap(this, bi->Width(), bi->Height());
        live_++;
        return bitmap;
    } catch (const std::bad_alloc&) {
        return nullptr;  // no storage: the run writes nothing
    }
}

BOOL InMemoryBitmapManager::SelectFileOutput(BitmapInfo* bi, HWND, const char*, int) {
    fileSelections_++;
    if (outputFile.empty() || !bi) return FALSE;
    bi->SetName(outputFile.c_str());
    return TRUE;
}
