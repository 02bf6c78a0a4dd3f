// The thirteen user settings that steer a grit run, and their persistence in "Murkwell.ini",
// section "Murkwell", in the host's plug-in configuration directory.
#pragma once
#include <string>

// Algorithm identifiers: the control ids of the panel's radio buttons, stored as such.
constexpr int ALGORITHM_UV_MAP = 1008;
constexpr int ALGORITHM_VERTEX_COLORS = 1009;
constexpr int ALGORITHM_SPATIAL = 1010;

struct GritSettings {
    int XSiz = 200;
    int YSiz = 200;
    int algorithm = ALGORITHM_UV_MAP;
    int horizontalSpread = 8;
    int verticalSpread = 1;
    int mapChannel = 1;
    float dist = 30.0f;
    int selectedOnly = 0;
    int noiseOn = 0;
    float noiseSize = 25.0f;
    int mtlIDOn = 0;
    int mtlID = 1;
    int addVertexColors = 0;
};

// The panel's limits for each setting (the spinners' ranges).
struct GritSettingLimits {
    static constexpr int XSizMin = 50, XSizMax = 4096;
    static constexpr int YSizMin = 50, YSizMax = 4096;
    static constexpr int horizontalSpreadMin = 0, horizontalSpreadMax = 24;
    static constexpr int verticalSpreadMin = 0, verticalSpreadMax = 10;
    static constexpr int mapChannelMin = 1, mapChannelMax = 99;
    static constexpr float distMin = 1.0f, distMax = 100000.0f;
    static constexpr float noiseSizeMin = 0.0f, noiseSizeMax = 100000.0f;
    static constexpr int mtlIDMin = 1, mtlIDMax = 100;
};

// The host's plug-in configuration directory, a path separator and "Murkwell.ini". Built anew
// on every call.
std::string SettingsFilePath();

// Reads all thirteen fields from the file (defaults for a missing file, section or key); no
// field is checked or clamped.
void LoadSettings(GritSettings& settings);

// Writes all thirteen fields, keeping everything else in the file. The result is not checked by
// the plug-in; it is returned for hosts and tests.
bool SaveSettings(const GritSettings& settings);
