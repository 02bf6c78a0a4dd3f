#include "standalone/ImageBitmapManager.h"

#include <new>

namespace {

class ImageBitmap : public Bitmap {
public:
    ImageBitmap(ImageBitmapManager* manager, int w, int h)
        : manager_(manager), w_(w), h_(h), pixels_(static_cast<size_t>(w) * static_cast<size_t>(h)) {}
    int Width() override { return w_; }
    int Height() override { return h_; }
    int PutPixels(int x, int y, int count, const BMM_Color_64* px) override {
        if (!px || y < 0 || y >= h_ || x < 0 || x >= w_ || count <= 0) return 0;
        int n = 0;
        for (; n < count && x + n < w_; ++n) pixels_[static_cast<size_t>(y) * static_cast<size_t>(w_) + static_cast<size_t>(x + n)] = px[n];
        return n;
    }
    int OpenOutput(BitmapInfo* bi) override {
        target_ = bi && bi->Name() ? bi->Name() : "";
        open_ = !target_.empty();
        return open_ ? 1 : 0;
    }
    int Write(BitmapInfo*, int) override {
        ImageBitmapManager::WriteResult result;
        result.path = target_;
        if (!open_)
            result.error = "the bitmap was not opened for output";
        else
            result.ok = WriteImageFile(target_, w_, h_, pixels_, manager_->layout, result.error);
        const int status = result.ok ? 1 : 0;
        manager_->RecordWrite(std::move(result));
        return status;
    }
    int Close(BitmapInfo*, int) override {
        open_ = false;
        return 1;
    }
    void DeleteThis() override {
        manager_->BitmapReleased();
        delete this;
    }

private:
    ImageBitmapManager* manager_;
    int w_, h_;
    std::vector<BMM_Color_64> pixels_;
    std::string target_;
    bool open_ = false;
};

}  // namespace

Bitmap* ImageBitmapManager::Create(BitmapInfo* bi) {
    if (!bi || bi->Width() == 0 || bi->Height() == 0) return nullptr;
    try {
        auto* bitmap = new ImageBitmap(this, bi->Width(), bi->Height());
        live_++;
        return bitmap;
    } catch (const std::bad_alloc&) {
        return nullptr;  // no storage: the run writes nothing
    }
}

BOOL ImageBitmapManager::SelectFileOutput(BitmapInfo* bi, HWND, const char*, int) {
    fileSelections_++;
    if (outputFile.empty() || !bi) return FALSE;
    bi->SetName(outputFile.c_str());
    return TRUE;
}
