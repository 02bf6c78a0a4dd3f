// The last step of the UV Map run: the value grid becomes a grey bitmap with 16 bits per channel,
// made and written by the host's bitmap manager to a file the user picks. Row 0 of the grid is
// the top row of the bitmap.
#include "uvgrit/GritBitmap.h"

#include <cmath>
#include <new>
#include <vector>

#include "host/Bitmap.h"
#include "host/Interface.h"
#include "host/MessageBox.h"
#include "plugin/GritUtility.h"

namespace {
constexpr int kBitmapType = 7;  // 16 bits per channel, r, g, b, a
constexpr DWORD kBitmapFlags = 2;
constexpr DWORD kBitmapCustomFlags = 0;
constexpr int kSingleFrame = -2000000;
constexpr std::uint16_t kOpaque = 0xFFFF;

void Describe(BitmapInfo& bi, int width, int height) {
    bi.SetType(kBitmapType);
    bi.SetWidth(static_cast<WORD>(width));
    bi.SetHeight(static_cast<WORD>(height));
    bi.SetFlags(kBitmapFlags);
    bi.SetCustomFlag(kBitmapCustomFlags);
}
}  // namespace

std::uint16_t GreyLevel(float v) {
    const double level = std::trunc(static_cast<double>(v) * 65535.0);
    if (!(level > 0.0)) return 0;  // NaN as well
    if (level >= 65535.0) return 65535;
    return static_cast<std::uint16_t>(level);
}

void GritUtility::WriteGritBitmap() {
    const int width = settings.XSiz;
    const int height = settings.YSiz;

    BitmapInfo bi;
    Describe(bi, width, height);

    BitmapManager* manager = TheManager();
    Bitmap* bitmap = manager ? manager->Create(&bi) : nullptr;
    if (!bitmap) {
        MessageBoxA(nullptr, "Could not create the grit bitmap", "Murkwell", MB_OK | MB_ICONINFORMATION);
        return;
    }

    BMM_Color_64 pixel;
    pixel.a = kOpaque;
    const int bw = bitmap->Width();
    const int bh = bitmap->Height();

    // The bitmap is saved even when the row buffer cannot be had; it then keeps whatever the
    // host put in it.
    std::vector<BMM_Color_64> row;
    bool haveRow = bw > 0;
    if (haveRow) {
        try {
            row.resize(static_cast<std::size_t>(bw));
        } catch (const std::bad_alloc&) {
            haveRow = false;
        }
    }
    if (haveRow) {
        for (int y = 0; y < bh; ++y) {
            for (int x = 0; x < bw; ++x) {
                const std::uint16_t grey = GreyLevel(gritValues.Get(x, y));
                pixel.r = pixel.g = pixel.b = grey;
                row[static_cast<std::size_t>(x)] = pixel;
            }
            bitmap->PutPixels(0, y, bw, row.data());
        }
        std::vector<BMM_Color_64>().swap(row);
    }

    Interface* core = Core();
    HWND mainWindow = core ? core->GetMAXHWnd() : nullptr;
    if (!manager->SelectFileOutput(&bi, mainWindow, nullptr, 0)) {
        bitmap->DeleteThis();
        return;
    }

    Describe(bi, width, height);
    bitmap->OpenOutput(&bi);
    bitmap->Write(&bi, kSingleFrame);
    bitmap->Close(&bi, 0);
    bitmap->DeleteThis();
}
