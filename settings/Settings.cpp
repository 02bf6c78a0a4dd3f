#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "host/Interface.h"
#include "host/Profile.h"
#include "settings/GritSettings.h"

namespace {

constexpr const char* kSection = "Murkwell";
constexpr const char* kFileName = "Murkwell.ini";

// Float keys are read as text into a buffer of this size and converted with atof.
constexpr DWORD kFloatTextSize = 80;

int Read(const SettingSpec<int>& entry, const std::string& path) {
    return static_cast<int>(GetPrivateProfileIntA(kSection, entry.key, entry.defaultValue, path.c_str()));
}

float Read(const SettingSpec<float>& entry, const std::string& path) {
    char text[kFloatTextSize];
    GetPrivateProfileStringA(kSection, entry.key, entry.defaultText, text, kFloatTextSize, path.c_str());
    return static_cast<float>(std::atof(text));
}

bool Write(const SettingSpec<int>& entry, int value, const std::string& path) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    return WritePrivateProfileStringA(kSection, entry.key, text, path.c_str()) != FALSE;
}

bool Write(const SettingSpec<float>& entry, float value, const std::string& path) {
    // "%f" of the largest float needs 47 characters; the buffer holds any float.
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return WritePrivateProfileStringA(kSection, entry.key, text, path.c_str()) != FALSE;
}

}  // namespace

std::string SettingsFilePath() {
    Interface* ip = GetCOREInterface();
    const char* dir = ip ? ip->GetDir(APP_PLUGCFG_DIR) : nullptr;
    // Without a host, or when it names no directory, the file lives in the working directory
    // (an empty directory must not turn the path into one at the file-system root).
    if (!dir || !*dir) return kFileName;
    std::string path = dir;
    path += static_cast<char>(std::filesystem::path::preferred_separator);
    path += kFileName;
    return path;
}

void LoadSettings(GritSettings& settings) {
    const std::string path = SettingsFilePath();
    // Read in a fixed order, with "mtlIDOn" before "mtlID" (the reverse of the save).
    settings.algorithm = Read(setting::algorithm, path);
    settings.XSiz = Read(setting::XSiz, path);
    settings.YSiz = Read(setting::YSiz, path);
    settings.horizontalSpread = Read(setting::horizontalSpread, path);
    settings.verticalSpread = Read(setting::verticalSpread, path);
    settings.mapChannel = Read(setting::mapChannel, path);
    settings.dist = Read(setting::dist, path);
    settings.selectedOnly = Read(setting::selectedOnly, path);
    settings.noiseOn = Read(setting::noiseOn, path);
    settings.noiseSize = Read(setting::noiseSize, path);
    settings.mtlIDOn = Read(setting::mtlIDOn, path);
    settings.mtlID = Read(setting::mtlID, path);
    settings.addVertexColors = Read(setting::addVertexColors, path);
}

bool SaveSettings(const GritSettings& settings) {
    const std::string path = SettingsFilePath();
    // Every key is written even after a failure, so that as much as possible is kept; a fresh
    // file lists the keys in this order.
    bool ok = true;
    ok &= Write(setting::algorithm, settings.algorithm, path);
    ok &= Write(setting::XSiz, settings.XSiz, path);
    ok &= Write(setting::YSiz, settings.YSiz, path);
    ok &= Write(setting::horizontalSpread, settings.horizontalSpread, path);
    ok &= Write(setting::verticalSpread, settings.verticalSpread, path);
    ok &= Write(setting::mapChannel, settings.mapChannel, path);
    ok &= Write(setting::dist, settings.dist, path);
    ok &= Write(setting::selectedOnly, settings.selectedOnly, path);
    ok &= Write(setting::noiseOn, settings.noiseOn, path);
    ok &= Write(setting::noiseSize, settings.noiseSize, path);
    ok &= Write(setting::mtlID, settings.mtlID, path);
    ok &= Write(setting::mtlIDOn, settings.mtlIDOn, path);
    ok &= Write(setting::addVertexColors, settings.addVertexColors, path);
    return ok;
}
