// A person at the utility's panel, played by the standalone host: it opens the loaded plug-in's
// utility (which adds its rollup page through the host), sets controls by clicking and typing
// into them, presses "Generate" and "About...", reads what the page shows, and closes the
// utility again (the page's destruction saves the settings).
#pragma once
#include <string>
#include <vector>

#include "host/UtilityObj.h"
#include "standalone/BakeOptions.h"
#include "standalone/PluginLibrary.h"
#include "standalone/StandaloneHost.h"

class PanelSession : private IUtil {
public:
    PanelSession(const PluginLibrary& library, StandaloneHost& host);
    // Closes the utility if it is still open.
    ~PanelSession() override;
    PanelSession(const PanelSession&) = delete;
    PanelSession& operator=(const PanelSession&) = delete;

    // Opens the utility; its page loads the settings file. False when no page came up.
    bool Open(std::string& error);
    // Closes the utility: the page reads its controls and saves the settings file.
    void Close();
    bool IsOpen() const { return page_ != nullptr; }
    HWND Page() const { return page_; }

    // Sets the controls for the options that are given, as a person would: a control that the
    // shown algorithm disables is reached by first clicking an algorithm that enables it, and the
    // chosen (or the shown) algorithm is clicked last. Values are typed into the edit boxes and
    // confirmed with Enter. False when a control did not take its value.
    bool ApplyOptions(const BakeOptions& options, std::string& error);
    // The algorithm whose radio button is checked (0 when none is).
    int ShownAlgorithm() const;
    // Presses "Generate": the plug-in runs the shown algorithm, on this thread.
    bool PressGenerate();
    // Presses "About...", reads the About box (its caption, then its texts in template order; the
    // picture is left out) and closes it with "OK". Empty when no About box opened.
    std::vector<std::string> PressAbout();
    // The page as it stands, one line per row of controls, in template order: each group box
    // with its rows indented under it; radio buttons as (*) / ( ), check boxes as [x] / [ ],
    // edit boxes as [value], push buttons as <caption>; "(disabled)" after a row whose controls
    // are all disabled.
    std::string Describe() const;

private:
    void CloseUtility() override { closeAsked_ = true; }

    UtilityObj* utility_;
    StandaloneHost& host_;
    HWND page_ = nullptr;
    bool closeAsked_ = false;
};
