// Every user setting's key in the settings file, its default and the panel's range, in one
// place. The record's defaults, the loader, the panel's spinners, the command line's range checks
// and other hosts' property panels all read them from here.
#pragma once
#include <array>

// Algorithm identifiers: the control ids of the panel's radio buttons, stored as such.
constexpr int ALGORITHM_UV_MAP = 1008;
constexpr int ALGORITHM_VERTEX_COLORS = 1009;
constexpr int ALGORITHM_SPATIAL = 1010;

enum class SettingType { Int, Float, Flag, Algorithm };

// One setting. `min` ... `max` is the panel's range (a flag's is 0 ... 1; the algorithm's spans
// the three radio-button ids). A float key falls back to `defaultText` when the file lacks it:
// the loader reads float keys as text.
template <class T>
struct SettingSpec {
    const char* key;
    SettingType type;
    T defaultValue;
    T min;
    T max;
    const char* defaultText = nullptr;
};

namespace setting {
inline constexpr SettingSpec<int> XSiz{"XSiz", SettingType::Int, 200, 50, 4096};
inline constexpr SettingSpec<int> YSiz{"YSiz", SettingType::Int, 200, 50, 4096};
inline constexpr SettingSpec<int> algorithm{"algorithm", SettingType::Algorithm, ALGORITHM_UV_MAP, ALGORITHM_UV_MAP,
                                            ALGORITHM_SPATIAL};
inline constexpr SettingSpec<int> horizontalSpread{"horizontalSpread", SettingType::Int, 8, 0, 24};
inline constexpr SettingSpec<int> verticalSpread{"verticalSpread", SettingType::Int, 1, 0, 10};
inline constexpr SettingSpec<int> mapChannel{"mapChannel", SettingType::Int, 1, 1, 99};
inline constexpr SettingSpec<float> dist{"dist", SettingType::Float, 30.0f, 1.0f, 100000.0f, "30.0"};
inline constexpr SettingSpec<int> selectedOnly{"selectedOnly", SettingType::Flag, 0, 0, 1};
inline constexpr SettingSpec<int> noiseOn{"noiseOn", SettingType::Flag, 0, 0, 1};
inline constexpr SettingSpec<float> noiseSize{"noiseSize", SettingType::Float, 25.0f, 0.0f, 100000.0f, "25.0"};
inline constexpr SettingSpec<int> mtlIDOn{"mtlIDOn", SettingType::Flag, 0, 0, 1};
inline constexpr SettingSpec<int> mtlID{"mtlID", SettingType::Int, 1, 1, 100};
inline constexpr SettingSpec<int> addVertexColors{"addVertexColors", SettingType::Flag, 0, 0, 1};

// Both float spinners move by this much per unit of drag.
inline constexpr float kFloatDragScale = 1.0f;
}  // namespace setting

struct GritSettings;

// The same thirteen settings as a list, in the record's field order, for code that walks all of
// them (property panels, documentation checks). Exactly one of the two field pointers is set.
struct SettingEntry {
    const char* key;
    SettingType type;
    double defaultValue;
    double min;
    double max;
    int GritSettings::*intField;
    float GritSettings::*floatField;
};
inline constexpr int kSettingCount = 13;
const std::array<SettingEntry, kSettingCount>& SettingEntries();
