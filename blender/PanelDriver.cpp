#include "blender/PanelDriver.h"

#include <cmath>
#include <cstring>

#include "host/CustomControls.h"
#include "host/Dialog.h"
#include "host/DialogInput.h"
#include "host/NumberText.h"
#include "host/Window.h"
#include "plugin/ResourceIds.h"

namespace {

// The page's control for each setting key: an edit box, a check box, or (the algorithm) the
// radio button whose id is the value.
struct SettingControl {
    const char* key;
    int id;
};
constexpr SettingControl kControls[] = {
    {setting::XSiz.key, IDC_XSIZ_EDIT},
    {setting::YSiz.key, IDC_YSIZ_EDIT},
    {setting::algorithm.key, 0},
    {setting::horizontalSpread.key, IDC_HSPREAD_EDIT},
    {setting::verticalSpread.key, IDC_VSPREAD_EDIT},
    {setting::mapChannel.key, IDC_MAPCHANNEL_EDIT},
    {setting::dist.key, IDC_DIST_EDIT},
    {setting::selectedOnly.key, IDC_SELECTED_ONLY},
    {setting::noiseOn.key, IDC_NOISE_ON},
    {setting::noiseSize.key, IDC_NOISESIZE_EDIT},
    {setting::mtlIDOn.key, IDC_MTLID_ON},
    {setting::mtlID.key, IDC_MTLID_EDIT},
    {setting::addVertexColors.key, IDC_ADD_VERTEX_COLORS},
};
constexpr int kAlgorithms[] = {IDC_UV_MAP, IDC_VERTEX_COLORS, IDC_SPATIAL};

int ControlOf(const SettingEntry& entry) {
    for (const SettingControl& c : kControls)
        if (std::strcmp(c.key, entry.key) == 0) return c.id;
    return 0;
}

bool Checked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }
bool IsEnabled(HWND page, int id) { return IsWindowEnabled(GetDlgItem(page, id)) != FALSE; }

int ShownAlgorithm(HWND page) {
    for (int id : kAlgorithms)
        if (Checked(page, id)) return id;
    return 0;
}

// An edit box's value, read the way the plug-in reads it.
double EditValue(HWND page, int id, SettingType type) {
    ICustEdit* edit = GetICustEdit(GetDlgItem(page, id));
    if (!edit) return 0.0;
    const double value = type == SettingType::Float ? double(edit->GetFloat()) : double(edit->GetInt());
    ReleaseICustEdit(edit);
    return value;
}

}  // namespace

PanelDriver::PanelDriver(UtilityObj* utility, BlenderHost& host) : utility_(utility), host_(host) {}

PanelDriver::~PanelDriver() { Close(); }

bool PanelDriver::Open(std::string& error) {
    if (page_) return true;
    const size_t before = host_.Rollups().Pages().size();
    utility_->OpenPanel(&host_, this);
    const auto& pages = host_.Rollups().Pages();
    if (pages.size() > before && pages.back().templateId == IDD_PANEL) page_ = pages.back().window;
    if (!page_) {
        // A half-opened utility is closed again, so that it forgets this host.
        utility_->ClosePanel(&host_, this);
        error = "the utility's panel did not open";
        return false;
    }
    return true;
}

void PanelDriver::Close() {
    if (!page_) return;
    utility_->ClosePanel(&host_, this);
    // A utility that left its page up is not left holding the host: the page goes here.
    if (IsWindow(page_)) host_.DeleteRollupPage(page_);
    page_ = nullptr;
}

SettingValues PanelDriver::Read() const {
    SettingValues values{};
    const auto& entries = SettingEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const SettingEntry& e = entries[i];
        const int id = ControlOf(e);
        switch (e.type) {
            case SettingType::Algorithm:
                values[i] = ShownAlgorithm(page_);
                break;
            case SettingType::Flag:
                values[i] = Checked(page_, id) ? 1.0 : 0.0;
                break;
            case SettingType::Int:
            case SettingType::Float:
                values[i] = EditValue(page_, id, e.type);
                break;
        }
    }
    return values;
}

SettingEnabled PanelDriver::Enabled() const {
    SettingEnabled enabled{};
    const auto& entries = SettingEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].type == SettingType::Algorithm) {
            const int shown = ShownAlgorithm(page_);
            enabled[i] = shown != 0 && IsEnabled(page_, shown);
        } else {
            enabled[i] = IsEnabled(page_, ControlOf(entries[i]));
        }
    }
    return enabled;
}

bool PanelDriver::Apply(const SettingValues& values, std::string& error) {
    const auto& entries = SettingEntries();
    auto failed = [&](const SettingEntry& e, double value) {
        error = std::string("the panel did not take ") + e.key + " = " + FormatSpinnerFloat(static_cast<float>(value));
        return false;
    };
    // Brings up an algorithm under which control `id` can be used.
    auto reach = [&](int id) {
        for (int algorithm : kAlgorithms) {
            if (IsEnabled(page_, id)) return true;
            ClickDlgButton(page_, algorithm);
        }
        return IsEnabled(page_, id);
    };

    int finalAlgorithm = 0;
    for (size_t i = 0; i < entries.size(); ++i) {
        const SettingEntry& e = entries[i];
        const double value = values[i];
        const int id = ControlOf(e);
        switch (e.type) {
            case SettingType::Algorithm:
                finalAlgorithm = static_cast<int>(value);
                if (finalAlgorithm != IDC_UV_MAP && finalAlgorithm != IDC_VERTEX_COLORS && finalAlgorithm != IDC_SPATIAL)
                    return failed(e, value);
                break;
            case SettingType::Flag: {
                const bool on = value != 0.0;
                if (Checked(page_, id) == on) break;
                if (!reach(id) || !ClickDlgButton(page_, id) || Checked(page_, id) != on) return failed(e, value);
                break;
            }
            case SettingType::Int: {
                if (value != std::floor(value) || std::fabs(value) > 2147483647.0) return failed(e, value);
                const int v = static_cast<int>(value);
                if (EditValue(page_, id, e.type) == v) break;
                if (!reach(id) || !TypeDlgItemText(page_, id, std::to_string(v).c_str()) ||
                    EditValue(page_, id, e.type) != v)
                    return failed(e, value);
                break;
            }
            case SettingType::Float: {
                const float v = static_cast<float>(value);
                if (std::isfinite(v) && EditValue(page_, id, e.type) == double(v)) break;
                if (!std::isfinite(v) || !reach(id) || !TypeDlgItemText(page_, id, FormatSpinnerFloat(v).c_str()) ||
                    EditValue(page_, id, e.type) != double(v))
                    return failed(e, value);
                break;
            }
        }
    }
    if (ShownAlgorithm(page_) != finalAlgorithm &&
        (!ClickDlgButton(page_, finalAlgorithm) || ShownAlgorithm(page_) != finalAlgorithm)) {
        error = "the panel did not take the algorithm " + std::to_string(finalAlgorithm);
        return false;
    }
    return true;
}

bool PanelDriver::PressGenerate() { return page_ && ClickDlgButton(page_, IDC_GENERATE); }

std::vector<std::string> PanelDriver::PressAbout() {
    std::vector<std::string> texts;
    HWND seen = nullptr;
    // The user of the About box: reads it, then presses "OK" (or, failing that, the close box).
    ModalDialogDriver previous = SetModalDialogDriver([&](HWND dialog) {
        if (dialog == seen) return false;  // still open after a press: give up on it
        seen = dialog;
        const Window* d = FindWindowRecord(dialog);
        if (!d || d->templateId != IDD_ABOUT) return false;
        texts.push_back(d->text);
        for (HWND c : d->children) {
            const Window* w = FindWindowRecord(c);
            if (w && (w->control == ControlKind::Label || w->control == ControlKind::CentredLabel)) texts.push_back(w->text);
        }
        return ClickDlgButton(dialog, IDOK) || ClickCloseBox(dialog);
    });
    if (page_) ClickDlgButton(page_, IDC_ABOUT);
    SetModalDialogDriver(std::move(previous));
    return texts;
}
