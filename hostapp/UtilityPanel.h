// A person at the utility's panel, the part every host program plays alike: it opens the loaded
// plug-in's utility (which adds its rollup page through the host and loads the settings file),
// looks at and types into the page's controls, presses "Generate" and "About...", and closes the
// utility again (the page's destruction saves the settings). How a host sets the controls from
// what its own user asked for is the host's, on top of these.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "host/UtilityObj.h"
#include "hostapp/HostApplication.h"
#include "plugin/ResourceIds.h"

// The algorithm radio buttons, in the page's order.
inline constexpr int kAlgorithmButtons[] = {IDC_UV_MAP, IDC_VERTEX_COLORS, IDC_SPATIAL};

class UtilityPanel : private IUtil {
public:
    UtilityPanel(UtilityObj* utility, HostApplication& host) : utility_(utility), host_(host) {}
    // Closes the utility if it is still open.
    ~UtilityPanel() override;
    UtilityPanel(const UtilityPanel&) = delete;
    UtilityPanel& operator=(const UtilityPanel&) = delete;

    // Opens the utility; its page loads the settings file. False when no page came up.
    bool Open(std::string& error);
    // Closes the utility: the page reads its controls and saves the settings file.
    void Close();
    bool IsOpen() const { return page_ != nullptr; }
    HWND Page() const { return page_; }

    // The algorithm whose radio button is checked (0 when none is).
    int ShownAlgorithm() const;
    // Presses "Generate": the plug-in runs the shown algorithm, on this thread.
    bool PressGenerate();
    // Presses "About...", reads the About box (its caption, then its texts in template order; the
    // picture is left out) and closes it with "OK". Empty when no About box opened.
    std::vector<std::string> PressAbout();

protected:
    HostApplication& Host() const { return host_; }
    // The page's control `id`: whether its box is checked, whether it is enabled.
    bool Checked(int id) const;
    bool IsEnabled(int id) const;
    // What edit box `id` holds, read the way the plug-in reads it; nothing when `id` is no edit box.
    std::optional<int> EditInt(int id) const;
    std::optional<float> EditFloat(int id) const;
    // Types the value into edit box `id` and confirms it with Enter; a float in the text its
    // spinner shows. False when the control cannot be typed into.
    bool TypeInt(int id, int value);
    bool TypeFloat(int id, float value);

private:
    // The page stays until the host closes the utility (Close).
    void CloseUtility() override {}

    UtilityObj* utility_;
    HostApplication& host_;
    HWND page_ = nullptr;
};
