#include "tests/plugin/PanelFixture.h"

#include <filesystem>

#include "host/Dialog.h"
#include "host/Profile.h"
#include "host/Window.h"
#include "plugin/Library.h"
#include "plugin/Resources.h"

void EnterPluginLibrary() {
    if (LibInstance() != PluginModule()) LibMain(PluginModule(), DLL_PROCESS_ATTACH, nullptr);
}

void PanelTest::SetUp() {
    EnterPluginLibrary();
    host.pluginConfigDir = dir.Path().string();
    ClassDesc* descriptor = LibClassDesc(0);
    ASSERT_NE(descriptor, nullptr);
    utility = static_cast<GritUtility*>(static_cast<UtilityObj*>(descriptor->Create(FALSE)));
}

void PanelTest::TearDown() {
    if (utility && utility->panelWindow) Close();
}

HWND PanelTest::Open() {
    utility->OpenPanel(&host, &utilityPanel);
    page = utility->panelWindow;
    return page;
}

void PanelTest::Close() {
    utility->ClosePanel(&host, &utilityPanel);
    page = nullptr;
}

bool PanelTest::IniExists() const {
    std::error_code ec;
    return std::filesystem::exists(IniPath(), ec);
}

std::string PanelTest::Ini(const char* key) const {
    char buffer[128];
    GetPrivateProfileStringA("Murkwell", key, "<none>", buffer, sizeof buffer, IniPath().c_str());
    return buffer;
}

std::string PanelTest::EditText(int id) const {
    char buffer[64];
    GetWindowTextA(GetDlgItem(page, id), buffer, sizeof buffer);
    return buffer;
}
