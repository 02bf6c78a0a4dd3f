#include "blender/PanelDriver.h"

#include <cmath>
#include <cstring>

#include "host/DialogInput.h"
#include "host/NumberText.h"
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

int ControlOf(const SettingEntry& entry) {
    for (const SettingControl& c : kControls)
        if (std::strcmp(c.key, entry.key) == 0) return c.id;
    return 0;
}

}  // namespace

double PanelDriver::EditValue(int id, SettingType type) const {
    return type == SettingType::Float ? double(EditFloat(id).value_or(0.0f)) : double(EditInt(id).value_or(0));
}

SettingValues PanelDriver::Read() const {
    SettingValues values{};
    const auto& entries = SettingEntries();
    for (size_t i = 0; i < entries.size(); ++i) {
        const SettingEntry& e = entries[i];
        const int id = ControlOf(e);
        switch (e.type) {
            case SettingType::Algorithm:
                values[i] = ShownAlgorithm();
                break;
            case SettingType::Flag:
                values[i] = Checked(id) ? 1.0 : 0.0;
                break;
            case SettingType::Int:
            case SettingType::Float:
                values[i] = EditValue(id, e.type);
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
            const int shown = ShownAlgorithm();
            enabled[i] = shown != 0 && IsEnabled(shown);
        } else {
            enabled[i] = IsEnabled(ControlOf(entries[i]));
        }
    }
    return enabled;
}

bool PanelDriver::Apply(const SettingValues& values, std::string& error) {
    const auto& entries = SettingEntries();
    const HWND page = Page();
    auto failed = [&](const SettingEntry& e, double value) {
        error = std::string("the panel did not take ") + e.key + " = " + FormatSpinnerFloat(static_cast<float>(value));
        return false;
    };
    // Brings up an algorithm under which control `id` can be used.
    auto reach = [&](int id) {
        for (int algorithm : kAlgorithmButtons) {
            if (IsEnabled(id)) return true;
            ClickDlgButton(page, algorithm);
        }
        return IsEnabled(id);
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
                if (Checked(id) == on) break;
                if (!reach(id) || !ClickDlgButton(page, id) || Checked(id) != on) return failed(e, value);
                break;
            }
            case SettingType::Int: {
                if (value != std::floor(value) || std::fabs(value) > 2147483647.0) return failed(e, value);
                const int v = static_cast<int>(value);
                if (EditValue(id, e.type) == v) break;
                if (!reach(id) || !TypeInt(id, v) || EditValue(id, e.type) != v) return failed(e, value);
                break;
            }
            case SettingType::Float: {
                const float v = static_cast<float>(value);
                if (std::isfinite(v) && EditValue(id, e.type) == double(v)) break;
                if (!std::isfinite(v) || !reach(id) || !TypeFloat(id, v) || EditValue(id, e.type) != double(v))
                    return failed(e, value);
                break;
            }
        }
    }
    if (ShownAlgorithm() != finalAlgorithm &&
        (!ClickDlgButton(page, finalAlgorithm) || ShownAlgorithm() != finalAlgorithm)) {
        error = "the panel did not take the algorithm " + std::to_string(finalAlgorithm);
        return false;
    }
    return true;
}
