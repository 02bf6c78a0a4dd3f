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

int ReadInt(const char* key, int defaultValue, const std::string& path) {
    return static_cast<int>(GetPrivateProfileIntA(kSection, key, defaultValue, path.c_str()));
}

float ReadFloat(const char* key, const char* defaultText, const std::string& path) {
    char text[kFloatTextSize];
    GetPrivateProfileStringA(kSection, key, defaultText, text, kFloatTextSize, path.c_str());
    return static_cast<float>(std::atof(text));
}

bool WriteInt(const char* key, int value, const std::string& path) {
    char text[32];
    std::snprintf(text, sizeof text, "%d", value);
    return WritePrivateProfileStringA(kSection, key, text, path.c_str()) != FALSE;
}

bool WriteFloat(const char* key, float value, const std::string& path) {
    // "%f" of the largest float needs 47 characters; the buffer holds any float.
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return WritePrivateProfileStringA(kSection, key, text, path.c_str()) != FALSE;
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
    settings.algorithm = ReadInt("algorithm", ALGORITHM_UV_MAP, path);
    settings.XSiz = ReadInt("XSiz", 200, path);
    settings.YSiz = ReadInt("YSiz", 200, path);
    settings.horizontalSpread = ReadInt("horizontalSpread", 8, path);
    settings.verticalSpread = ReadInt("verticalSpread", 1, path);
    settings.mapChannel = ReadInt("mapChannel", 1, path);
    settings.dist = ReadFloat("dist", "30.0", path);
    settings.selectedOnly = ReadInt("selectedOnly", 0, path);
    settings.noiseOn = ReadInt("noiseOn", 0, path);
    settings.noiseSize = ReadFloat("noiseSize", "25.0", path);
    settings.mtlIDOn = ReadInt("mtlIDOn", 0, path);
    settings.mtlID = ReadInt("mtlID", 1, path);
    settings.addVertexColors = ReadInt("addVertexColors", 0, path);
}

bool SaveSettings(const GritSettings& settings) {
    const std::string path = SettingsFilePath();
    // Every key is written even after a failure, so that as much as possible is kept; a fresh
    // file lists the keys in this order.
    bool ok = true;
    ok &= WriteInt("algorithm", settings.algorithm, path);
    ok &= WriteInt("XSiz", settings.XSiz, path);
    ok &= WriteInt("YSiz", settings.YSiz, path);
    ok &= WriteInt("horizontalSpread", settings.horizontalSpread, path);
    ok &= WriteInt("verticalSpread", settings.verticalSpread, path);
    ok &= WriteInt("mapChannel", settings.mapChannel, path);
    ok &= WriteFloat("dist", settings.dist, path);
    ok &= WriteInt("selectedOnly", settings.selectedOnly, path);
    ok &= WriteInt("noiseOn", settings.noiseOn, path);
    ok &= WriteFloat("noiseSize", settings.noiseSize, path);
    ok &= WriteInt("mtlID", settings.mtlID, path);
    ok &= WriteInt("mtlIDOn", settings.mtlIDOn, path);
    ok &= WriteInt("addVertexColors", settings.addVertexColors, path);
    return ok;
}
