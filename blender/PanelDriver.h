// A person at the utility's panel, played for Blender: on top of opening and closing the utility
// and pressing its buttons (UtilityPanel), it reads and sets the controls of the thirteen
// settings. Values travel in the settings table's order.
#pragma once
#include <array>
#include <string>

#include "hostapp/UtilityPanel.h"
#include "settings/SettingTable.h"

using SettingValues = std::array<double, kSettingCount>;
using SettingEnabled = std::array<bool, kSettingCount>;

class PanelDriver : public UtilityPanel {
public:
    using UtilityPanel::UtilityPanel;

    // What each setting's control shows, and whether it is enabled.
    SettingValues Read() const;
    SettingEnabled Enabled() const;
    // Sets every control to its value: typed into an edit box and confirmed with Enter, a check
    // box or radio button clicked. A control that the shown algorithm disables is reached by
    // clicking, in turn, the algorithms until one enables it; the value's own algorithm is clicked
    // last. False, naming the setting, when a control did not take its value (the spinners clamp
    // a value outside their range).
    bool Apply(const SettingValues& values, std::string& error);

private:
    // An edit box's value, read the way the plug-in reads it; 0 when there is none.
    double EditValue(int id, SettingType type) const;
};
