// A person at the utility's panel, played by the standalone host: on top of opening and closing
// the utility and pressing its buttons (UtilityPanel), it sets the controls for the options of a
// `murkwell bake` command line, and reads the page back as text.
#pragma once
#include <string>

#include "hostapp/PluginLibrary.h"
#include "hostapp/UtilityPanel.h"
#include "standalone/BakeOptions.h"
#include "standalone/StandaloneHost.h"

class PanelSession : public UtilityPanel {
public:
    PanelSession(const PluginLibrary& library, StandaloneHost& host) : UtilityPanel(library.utility, host) {}

    // Sets the controls for the options that are given, as a person would: a control that the
    // shown algorithm disables is reached by first clicking an algorithm that enables it, and the
    // chosen (or the shown) algorithm is clicked last. Values are typed into the edit boxes and
    // confirmed with Enter. False when a control did not take its value.
    bool ApplyOptions(const BakeOptions& options, std::string& error);
    // The page as it stands, one line per row of controls, in template order: each group box
    // with its rows indented under it; radio buttons as (*) / ( ), check boxes as [x] / [ ],
    // edit boxes as [value], push buttons as <caption>; "(disabled)" after a row whose controls
    // are all disabled.
    std::string Describe() const;
};
