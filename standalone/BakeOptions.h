// What a `murkwell bake` command line asks for, and how it becomes the run's settings. Options
// that are not given leave the settings as loaded from the settings file.
#pragma once
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "settings/GritSettings.h"
#include "standalone/ImportOptions.h"
#include "standalone/OptionNumbers.h"

struct BakeOptions {
    std::string input, output;
    std::optional<int> algorithm;                // --mode: ALGORITHM_UV_MAP, _VERTEX_COLORS, _SPATIAL
    std::optional<std::pair<int, int>> size;     // --size WxH
    std::optional<float> dist;                   // --dist D
    std::optional<std::pair<int, int>> spread;   // --spread HxV
    std::optional<int> channel;                  // --channel N
    std::optional<bool> selectedOnly;            // --selected-only / --no-selected-only
    std::optional<bool> noiseOn;                 // --noise SIZE / --no-noise
    std::optional<float> noiseSize;
    std::optional<bool> mtlIDOn;                 // --mtl-id ID / --no-mtl-id
    std::optional<int> mtlID;
    std::optional<bool> accumulate;              // --accumulate / --replace
    std::string object;                          // --object NAME
    std::vector<std::string> selectGroups;       // --select-group NAME, repeatable
    std::string configDir;                       // --config-dir DIR
    std::optional<bool> savePartial;             // --save-partial yes|no
    std::optional<int> threads;                  // --threads N (N >= 1); else one per hardware thread
    bool reference = false;                      // --reference: cast rays with the plain scan
    ImportOptions import;                        // --scale S, --smoothing MODE (its threads: --threads)
    bool quiet = false;
    bool rgba = false;                           // --rgba: images as r, g, b, a instead of one grey channel
};

// Strict parsers for option texts (the whole text must parse; the numbers' own in OptionNumbers.h).
bool ParsePairText(const std::string& text, int& a, int& b);  // "AxB" (or "AXB")
// "uv", "vertex", "spatial" -> the algorithm identifier.
bool ParseModeText(const std::string& text, int& algorithm);

// A setting's range as the messages and the help show it: "50 ... 4096".
std::string RangeText(const SettingSpec<int>& range);
std::string RangeText(const SettingSpec<float>& range);

// Checks every given value against the panel's ranges; the error names the option and the range,
// and for a distance that a power-of-two import scale would bring within it, that scale and the
// distance in its units.
bool CheckOptionRanges(const BakeOptions& options, std::string& error);

// Checks a settings record's ranged fields; the error names the settings key and the range.
bool CheckSettingsRanges(const GritSettings& settings, std::string& error);

// Copies the given options into `settings`, as the panel copies its controls before a run.
void ApplyBakeOptions(const BakeOptions& options, GritSettings& settings);
