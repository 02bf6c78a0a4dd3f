// A person at the utility's panel, played for Blender: opens the plug-in's utility (which adds
// its rollup page through the host and loads the settings file), reads and sets the controls of
// the thirteen settings, presses "Generate" and "About...", and closes the utility (the page
// saves the settings file). Values travel in the settings table's order.
#pragma once
#include <array>
#include <string>
#include <vector>

#include "blender/BlenderHost.h"
#include "host/UtilityObj.h"
#include "settings/SettingTable.h"

using SettingValues = std::array<double, kSettingCount>;
using SettingEnabled = std::array<bool, kSettingCount>;

class PanelDriver : private IUtil {
public:
    PanelDriver(UtilityObj* utility, BlenderHost& host);
    // Closes the utility if it is still open.
    ~PanelDriver() override;
    PanelDriver(const PanelDriver&) = delete;
    PanelDriver& operator=(const PanelDriver&) = delete;

    // Opens the utility; its page loads the settings file. False when no page came up.
    bool Open(std::string& error);
    // Closes the utility: the page reads its controls and saves the settings file.
    void Close();

    // What each setting's control shows, and whether it is enabled.
    SettingValues Read() const;
    SettingEnabled Enabled() const;
    // Sets every control to its value: typed into an edit box and confirmed with Enter, a check
    // box or radio button clicked. A control that the shown algorithm disables is reached by
    // clicking, in turn, the algorithms until one enables it; the value's own algorithm is clicked
    // last. False, naming the setting, when a control did not take its value (the spinners clamp
    // a value outside their range).
    bool Apply(const SettingValues& values, std::string& error);
    // Presses "Generate": the plug-in runs the shown algorithm on this thread.
    bool PressGenerate();
    // Presses "About...", reads the About box (its caption, then its texts in template order) and
    // closes it with "OK". Empty when no About box opened.
    std::vector<std::string> PressAbout();

private:
    void CloseUtility() override {}

    UtilityObj* utility_;
    BlenderHost& host_;
    HWND page_ = nullptr;
};
