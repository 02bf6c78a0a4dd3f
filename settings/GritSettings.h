// The thirteen user settings that steer a grit run, and their persistence in "Murkwell.ini",
// section "Murkwell", in the host's plug-in configuration directory.
#pragma once
#include <string>

#include "settings/SettingTable.h"

// Defaults, keys and ranges: settings/SettingTable.h.
struct GritSettings {
    int XSiz = setting::XSiz.defaultValue;
    int YSiz = setting::YSiz.defaultValue;
    int algorithm = setting::algorithm.defaultValue;
    int horizontalSpread = setting::horizontalSpread.defaultValue;
    int verticalSpread = setting::verticalSpread.defaultValue;
    int mapChannel = setting::mapChannel.defaultValue;
    float dist = setting::dist.defaultValue;
    int selectedOnly = setting::selectedOnly.defaultValue;
    int noiseOn = setting::noiseOn.defaultValue;
    float noiseSize = setting::noiseSize.defaultValue;
    int mtlIDOn = setting::mtlIDOn.defaultValue;
    int mtlID = setting::mtlID.defaultValue;
    int addVertexColors = setting::addVertexColors.defaultValue;
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
