#include "host/CustomControls.h"

#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>
#include <mutex>
#include <string>

#include "host/Dialog.h"
#include "host/NumberText.h"
#include "host/WindowMessages.h"

namespace {
std::atomic<int> g_liveInterfaces{0};

std::mutex g_initMutex;
ControlInitRecord g_init;
int g_initCalls = 0;

Window* FindControlOfKind(HWND hwnd, ControlKind kind) {
    Window* w = FindWindowRecord(hwnd);
    return w && w->kind == WindowKind::Control && w->control == kind ? w : nullptr;
}

// Float to int without undefined behaviour: rounded to nearest, NaN as 0, saturated.
int SaturatingRound(float value) {
    if (std::isnan(value)) return 0;
    const double rounded = std::nearbyint(static_cast<double>(value));
    if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (rounded <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(rounded);
}

// Double to float, beyond the float range as an infinity.
float NarrowToFloat(double value) {
    if (value > static_cast<double>(FLT_MAX)) return std::numeric_limits<float>::infinity();
    if (value < -static_cast<double>(FLT_MAX)) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(value);
}

template <class T>
T Clamp(T value, T low, T high) {
    if (value < low) value = low;
    if (value > high) value = high;
    return value;
}

class CustEditInterface : public ICustEdit {
public:
    explicit CustEditInterface(HWND hwnd) : hwnd_(hwnd) { g_liveInterfaces++; }
    ~CustEditInterface() override { g_liveInterfaces--; }

    void GetText(char* text, int maxCount) override { GetWindowTextA(hwnd_, text, maxCount); }
    void SetText(const char* text) override { SetWindowTextA(hwnd_, text); }
    void SetText(int value) override { SetWindowTextA(hwnd_, std::to_string(value).c_str()); }
    void SetText(float value) override { SetWindowTextA(hwnd_, FormatSpinnerFloat(value).c_str()); }
    int GetInt(BOOL* valid) override {
        bool found = false;
        const int v = LeadingInt(Text().c_str(), &found);
        if (valid) *valid = found ? TRUE : FALSE;
        return v;
    }
    float GetFloat(BOOL* valid) override {
        bool found = false;
        const double v = LeadingDouble(Text().c_str(), &found);
        if (valid) *valid = found ? TRUE : FALSE;
        return NarrowToFloat(v);
    }
    void Enable(BOOL enable) override { EnableWindow(hwnd_, enable); }
    BOOL IsEnabled() override { return IsWindowEnabled(hwnd_); }

private:
    std::string Text() const {
        const Window* w = FindControlOfKind(hwnd_, ControlKind::CustomEdit);
        return w ? w->text : std::string();
    }
    HWND hwnd_;
};

class SpinnerInterface : public ISpinnerControl {
public:
    explicit SpinnerInterface(HWND hwnd) : hwnd_(hwnd) { g_liveInterfaces++; }
    ~SpinnerInterface() override { g_liveInterfaces--; }

    int GetIVal() override {
        const Window* w = Spinner();
        if (!w) return 0;
        return w->spinner.type == EDITTYPE_INT ? w->spinner.intValue : SaturatingRound(w->spinner.floatValue);
    }
    float GetFVal() override {
        const Window* w = Spinner();
        if (!w) return 0.0f;
        return w->spinner.type == EDITTYPE_FLOAT ? w->spinner.floatValue : static_cast<float>(w->spinner.intValue);
    }
    void SetLimits(int min, int max, BOOL limitCurrent) override {
        Window* w = Spinner();
        if (!w) return;
        w->spinner.intMin = min;
        w->spinner.intMax = max;
        w->spinner.floatMin = static_cast<float>(min);
        w->spinner.floatMax = static_cast<float>(max);
        if (limitCurrent) Store(*w, false);
    }
    void SetLimits(float min, float max, BOOL limitCurrent) override {
        Window* w = Spinner();
        if (!w) return;
        w->spinner.floatMin = min;
        w->spinner.floatMax = max;
        w->spinner.intMin = SaturatingRound(min);
        w->spinner.intMax = SaturatingRound(max);
        if (limitCurrent) Store(*w, false);
    }
    void SetScale(float scale) override {
        if (Window* w = Spinner()) w->spinner.scale = scale;
    }
    float GetScale() override {
        const Window* w = Spinner();
        return w ? w->spinner.scale : 0.0f;
    }
    void SetValue(int value, int notify) override {
        Window* w = Spinner();
        if (!w) return;
        if (w->spinner.type == EDITTYPE_FLOAT) {
            SetValue(static_cast<float>(value), notify);
            return;
        }
        w->spinner.intValue = value;
        Store(*w, notify != 0);
    }
    void SetValue(float value, int notify) override {
        Window* w = Spinner();
        if (!w) return;
        if (w->spinner.type == EDITTYPE_INT) {
            w->spinner.intValue = std::isnan(value) ? w->spinner.intMin : SaturatingRound(value);
        } else {
            w->spinner.floatValue = std::isnan(value) ? w->spinner.floatMin : value;
        }
        Store(*w, notify != 0);
    }
    void LinkToEdit(HWND edit, EditSpinnerType type) override {
        Window* w = Spinner();
        if (!w) return;
        w->spinner.edit = FindControlOfKind(edit, ControlKind::CustomEdit) ? edit : nullptr;
        w->spinner.type = type;
    }
    void Enable(BOOL enable) override { EnableWindow(hwnd_, enable); }
    BOOL IsEnabled() override { return IsWindowEnabled(hwnd_); }

private:
    Window* Spinner() const { return FindControlOfKind(hwnd_, ControlKind::Spinner); }

    // Clamps the held value to the limits, shows it in the linked edit, and notifies on request.
    void Store(Window& w, bool notify) {
        SpinnerState& s = w.spinner;
        std::string text;
        if (s.type == EDITTYPE_INT) {
            s.intValue = Clamp(s.intValue, s.intMin, s.intMax);
            text = std::to_string(s.intValue);
        } else {
            if (std::isnan(s.floatValue)) s.floatValue = s.floatMin;
            s.floatValue = Clamp(s.floatValue, s.floatMin, s.floatMax);
            text = FormatSpinnerFloat(s.floatValue);
        }
        const HWND edit = s.edit, dialog = w.parent;
        const int id = w.id;
        if (edit) SetWindowTextA(edit, text.c_str());
        if (notify)
            SendMessage(dialog, CC_SPINNER_CHANGE, MAKEWPARAM(static_cast<WORD>(id), 0), reinterpret_cast<LPARAM>(hwnd_));
    }

    HWND hwnd_;
};
}  // namespace

ICustEdit* GetICustEdit(HWND hwnd) {
    return FindControlOfKind(hwnd, ControlKind::CustomEdit) ? new CustEditInterface(hwnd) : nullptr;
}

ISpinnerControl* GetISpinner(HWND hwnd) {
    return FindControlOfKind(hwnd, ControlKind::Spinner) ? new SpinnerInterface(hwnd) : nullptr;
}

void ReleaseICustEdit(ICustEdit* edit) { delete edit; }
void ReleaseISpinner(ISpinnerControl* spinner) { delete spinner; }
int LiveCustomControlInterfaces() { return g_liveInterfaces.load(); }

ISpinnerControl* SetupIntSpinner(HWND dialog, int spinnerId, int editId, int min, int max, int value) {
    const HWND edit = GetDlgItem(dialog, editId);
    if (!FindControlOfKind(edit, ControlKind::CustomEdit)) return nullptr;
    ISpinnerControl* spin = GetISpinner(GetDlgItem(dialog, spinnerId));
    if (!spin) return nullptr;
    spin->LinkToEdit(edit, EDITTYPE_INT);
    spin->SetLimits(min, max, FALSE);
    spin->SetValue(value, FALSE);
    return spin;
}

ISpinnerControl* SetupFloatSpinner(HWND dialog, int spinnerId, int editId, float min, float max, float value,
                                   float scale) {
    const HWND edit = GetDlgItem(dialog, editId);
    if (!FindControlOfKind(edit, ControlKind::CustomEdit)) return nullptr;
    ISpinnerControl* spin = GetISpinner(GetDlgItem(dialog, spinnerId));
    if (!spin) return nullptr;
    spin->LinkToEdit(edit, EDITTYPE_FLOAT);
    spin->SetLimits(min, max, FALSE);
    spin->SetScale(scale);
    spin->SetValue(value, FALSE);
    return spin;
}

HWND SpinnerLinkedTo(HWND edit) {
    const Window* e = FindControlOfKind(edit, ControlKind::CustomEdit);
    const Window* d = e ? FindWindowRecord(e->parent) : nullptr;
    if (!d) return nullptr;
    for (HWND c : d->children) {
        const Window* w = FindControlOfKind(c, ControlKind::Spinner);
        if (w && w->spinner.edit == edit) return c;
    }
    return nullptr;
}

void InitCustomControls(HINSTANCE instance) {
    std::lock_guard<std::mutex> lock(g_initMutex);
    ++g_initCalls;
    if (g_init.customControlCalls++ == 0) {
        g_init.firstCustomControlCall = g_initCalls;
        g_init.customControlsInstance = instance;
    }
}

BOOL CustomControlsInitialized() {
    std::lock_guard<std::mutex> lock(g_initMutex);
    return g_init.customControlCalls > 0 ? TRUE : FALSE;
}

void InitCommonControls() {
    std::lock_guard<std::mutex> lock(g_initMutex);
    ++g_initCalls;
    if (g_init.commonControlCalls++ == 0) g_init.firstCommonControlCall = g_initCalls;
}

ControlInitRecord ControlInitialization() {
    std::lock_guard<std::mutex> lock(g_initMutex);
    return g_init;
}
