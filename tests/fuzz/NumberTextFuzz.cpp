// Fuzz target: numbers in edit-box text, from the text functions to the panel's controls.
//  - LeadingInt and LeadingDouble read text as strtoll and strtod do (decimal forms only: the C
//    functions also read hexadecimal, "inf" and "nan", which an edit box does not), with ints
//    saturated to the int range;
//  - the spinner text of any finite float reads back as that float, and is the shortest such
//    text with at least one decimal;
//  - on the utility's panel, a custom edit shows any value it is given so that reading it back
//    gives the same value; typing a text and pressing Enter leaves the spinner at the text's
//    number clamped to the setting's range (its old value when the text holds none), and reading
//    the panel's controls into the settings then gives exactly the spinner's value.
#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "host/CustomControls.h"
#include "host/DialogInput.h"
#include "host/NumberText.h"
#include "plugin/GritUtility.h"
#include "plugin/Library.h"
#include "plugin/ResourceIds.h"
#include "plugin/Resources.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestHost.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// Longer texts add nothing but time.
constexpr std::size_t kMaxTextLength = 200;

template <class T>
bool SameBits(T a, T b) {
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void CheckLeadingInt(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const long long expected = std::strtoll(text.c_str(), &end, 10);
    bool found = false;
    const int value = LeadingInt(text.c_str(), &found);
    FUZZ_CHECK(found == (end != text.c_str()), "LeadingInt finds a number where strtoll does");
    FUZZ_CHECK(value == std::clamp<long long>(expected, INT_MIN, INT_MAX), "LeadingInt reads as strtoll, saturated");
}

void CheckLeadingDouble(const std::string& text) {
    char* end = nullptr;
    const double expected = std::strtod(text.c_str(), &end);
    const std::string consumed(text.c_str(), static_cast<std::size_t>(end - text.c_str()));
    if (consumed.find_first_not_of(" \t\n\v\f\r+-.0123456789eE") != std::string::npos) return;  // hex, inf, nan
    bool found = false;
    const double value = LeadingDouble(text.c_str(), &found);
    FUZZ_CHECK(found == !consumed.empty(), "LeadingDouble finds a number where strtod does");
    if (std::fabs(expected) < DBL_MIN) {
        // Below the normal range the text function gives 0 (with the sign) rather than a subnormal.
        FUZZ_CHECK(SameBits(value, expected) || SameBits(value, std::copysign(0.0, expected)),
                   "LeadingDouble reads tiny numbers as strtod does, or as 0");
    } else {
        FUZZ_CHECK(SameBits(value, expected), "LeadingDouble reads as strtod, correctly rounded");
    }
}

void CheckSpinnerText(float value) {
    if (!std::isfinite(value)) return;
    const std::string text = FormatSpinnerFloat(value);
    const size_t point = text.find('.');
    FUZZ_CHECK(point != std::string::npos && point + 1 < text.size(), "at least one decimal");
    FUZZ_CHECK(text.find_first_not_of("-.0123456789") == std::string::npos, "plain fixed-point text");
    bool found = false;
    FUZZ_CHECK(SameBits(static_cast<float>(LeadingDouble(text.c_str(), &found)), value) && found,
               "the spinner text reads back as the same float");
    if (text.size() - point > 2) {
        // One decimal fewer must not read back the same, or the text was not the shortest.
        const std::string shorter = text.substr(0, text.size() - 1);
        FUZZ_CHECK(!SameBits(static_cast<float>(LeadingDouble(shorter.c_str())), value), "the shortest text");
    }
}

// ---- The panel ----

class Utility : public IUtil {
public:
    void CloseUtility() override {}
};

struct Panel {
    ScopedTempDir dir;  // the plug-in configuration directory: the panel loads and saves there
    TestHost host;
    Utility utility;
    HWND page = nullptr;
};
Panel* g_panel = nullptr;

Panel& OpenPanel() {
    if (g_panel) return *g_panel;
    LibMain(PluginModule(), DLL_PROCESS_ATTACH, nullptr);
    g_panel = new Panel;
    g_panel->host.pluginConfigDir = g_panel->dir.Path().string();
    TheGritUtility().OpenPanel(&g_panel->host, &g_panel->utility);
    g_panel->page = TheGritUtility().panelWindow;
    FUZZ_CHECK(g_panel->page != nullptr, "the panel opens");
    // After the utility exists, so this runs before it is destroyed.
    std::atexit([] {
        TheGritUtility().ClosePanel(&g_panel->host, &g_panel->utility);
        delete g_panel;
        g_panel = nullptr;
    });
    return *g_panel;
}

// A number edit of the panel: its id, the utility's handles to it and its spinner, the setting.
template <class T>
struct Control {
    int editId;
    ICustEdit* GritUtility::*edit;
    ISpinnerControl* GritUtility::*spinner;
    T GritSettings::*field;
    const SettingSpec<T>& setting;
};
using IntControl = Control<int>;
using FloatControl = Control<float>;

const IntControl kIntControls[] = {
    {IDC_XSIZ_EDIT, &GritUtility::mapWidthEdit, &GritUtility::mapWidthSpin, &GritSettings::XSiz, setting::XSiz},
    {IDC_YSIZ_EDIT, &GritUtility::mapHeightEdit, &GritUtility::mapHeightSpin, &GritSettings::YSiz, setting::YSiz},
    {IDC_HSPREAD_EDIT, &GritUtility::horizontalSpreadEdit, &GritUtility::horizontalSpreadSpin,
     &GritSettings::horizontalSpread, setting::horizontalSpread},
    {IDC_VSPREAD_EDIT, &GritUtility::verticalSpreadEdit, &GritUtility::verticalSpreadSpin,
     &GritSettings::verticalSpread, setting::verticalSpread},
    {IDC_MAPCHANNEL_EDIT, &GritUtility::mapChannelEdit, &GritUtility::mapChannelSpin, &GritSettings::mapChannel,
     setting::mapChannel},
    {IDC_MTLID_EDIT, &GritUtility::mtlIDEdit, &GritUtility::mtlIDSpin, &GritSettings::mtlID, setting::mtlID},
};
const FloatControl kFloatControls[] = {
    {IDC_DIST_EDIT, &GritUtility::distEdit, &GritUtility::distSpin, &GritSettings::dist, setting::dist},
    {IDC_NOISESIZE_EDIT, &GritUtility::noiseSizeEdit, &GritUtility::noiseSizeSpin, &GritSettings::noiseSize,
     setting::noiseSize},
};

void CheckIntControl(GritUtility& u, HWND page, const IntControl& c, const std::string& text, int shown) {
    ICustEdit* edit = u.*c.edit;
    ISpinnerControl* spinner = u.*c.spinner;
    FUZZ_CHECK(edit && spinner, "the panel's controls are reachable");

    edit->SetText(shown);
    FUZZ_CHECK(edit->GetInt() == shown, "an edit reads back the int it shows");

    spinner->SetValue(c.setting.defaultValue, FALSE);
    const int old = spinner->GetIVal();
    FUZZ_CHECK(TypeDlgItemText(page, c.editId, text.c_str(), true), "the edit takes the text");
    bool found = false;
    const int typed = LeadingInt(text.c_str(), &found);
    const int expected = found ? std::clamp(typed, c.setting.min, c.setting.max) : old;
    FUZZ_CHECK(spinner->GetIVal() == expected, "Enter sets the spinner to the clamped number");
    u.ReadControls(page);
    FUZZ_CHECK(u.settings.*c.field == expected, "the settings read from the edit are the spinner's value");
}

void CheckFloatControl(GritUtility& u, HWND page, const FloatControl& c, const std::string& text, float shown) {
    ICustEdit* edit = u.*c.edit;
    ISpinnerControl* spinner = u.*c.spinner;
    FUZZ_CHECK(edit && spinner, "the panel's controls are reachable");

    if (std::isfinite(shown)) {
        edit->SetText(shown);
        FUZZ_CHECK(SameBits(edit->GetFloat(), shown), "an edit reads back the float it shows");
    }

    spinner->SetValue(c.setting.defaultValue, FALSE);
    const float old = spinner->GetFVal();
    FUZZ_CHECK(TypeDlgItemText(page, c.editId, text.c_str(), true), "the edit takes the text");
    bool found = false;
    const double typed = LeadingDouble(text.c_str(), &found);
    // Clamping before or after rounding to float gives the same value: the limits are floats.
    const float expected = found ? static_cast<float>(std::clamp(typed, double(c.setting.min), double(c.setting.max))) : old;
    // (A negative zero may stay negative at a limit of 0: equal, not the same bits.)
    const float value = spinner->GetFVal();
    FUZZ_CHECK(value == expected, "Enter sets the spinner to the clamped number");
    u.ReadControls(page);
    FUZZ_CHECK(SameBits(u.settings.*c.field, value), "the settings read from the edit are the spinner's value");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The text an edit box would hold: up to the first NUL.
    std::string text(reinterpret_cast<const char*>(data), std::min(size, kMaxTextLength));
    text.resize(std::strlen(text.c_str()));
    // The first bytes, taken as a value, for the format round trips.
    std::uint32_t bits = 0;
    if (size > 0) std::memcpy(&bits, data, std::min(size, sizeof bits));
    float shownFloat;
    std::memcpy(&shownFloat, &bits, sizeof shownFloat);
    const int shownInt = static_cast<int>(bits);

    CheckLeadingInt(text);
    CheckLeadingDouble(text);
    CheckSpinnerText(shownFloat);
    CheckSpinnerText(static_cast<float>(std::clamp(LeadingDouble(text.c_str()), -double(FLT_MAX), double(FLT_MAX))));

    Panel& panel = OpenPanel();
    GritUtility& u = TheGritUtility();
    for (const IntControl& c : kIntControls) CheckIntControl(u, panel.page, c, text, shownInt);
    for (const FloatControl& c : kFloatControls) CheckFloatControl(u, panel.page, c, text, shownFloat);
    return 0;
}
