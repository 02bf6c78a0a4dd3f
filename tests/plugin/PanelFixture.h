// A test host with the utility's panel: the library entered as a host loading it would, a fresh
// plug-in configuration directory per test, and helpers to open and close the panel and read
// the settings file.
#pragma once
#include <gtest/gtest.h>

#include <string>

#include "host/UtilityObj.h"
#include "plugin/GritUtility.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestHost.h"

class TestUtilityPanel : public IUtil {
public:
    void CloseUtility() override { closeCalls++; }
    int closeCalls = 0;
};

// Runs the library entry with the plug-in's own module once per process, as loading does.
void EnterPluginLibrary();

class PanelTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Opens the utility's panel through the host and returns the page.
    HWND Open();
    void Close();

    std::string IniPath() const { return dir.File("Murkwell.ini"); }
    bool IniExists() const;
    std::string IniFile() const { return ReadWholeFile(IniPath()); }
    // A key's value text in section "Murkwell" ("<none>" when absent).
    std::string Ini(const char* key) const;
    void WriteIni(const std::string& content) const { WriteWholeFile(IniPath(), content); }
    // The text an edit box of the page shows.
    std::string EditText(int id) const;

    ScopedTempDir dir;
    TestHost host;
    TestUtilityPanel utilityPanel;
    GritUtility* utility = nullptr;
    HWND page = nullptr;
};
