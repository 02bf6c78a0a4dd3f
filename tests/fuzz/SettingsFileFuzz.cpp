// Fuzz target: the settings file. The input is written as Murkwell.ini in the host's plug-in
// configuration directory (a temporary one), read with LoadSettings, written back with
// SaveSettings and read again. What must hold:
//  - the save succeeds, and the values read back are the values saved: integers exactly, floats
//    as the "%f" text they were written as reads back;
//  - the saved file is a fixed point: saving what was read back leaves it byte for byte as is;
//  - everything in the file outside the Murkwell keys is kept (see CheckKept).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "settings/GritSettings.h"
#include "settings/SettingTable.h"
#include "tests/common/TempDir.h"
#include "tests/common/TestHost.h"
#include "tests/fuzz/FuzzCheck.h"

namespace {

// A host whose plug-in configuration directory is a fresh temporary one, for the whole process;
// taken down at exit.
struct SettingsHost {
    ScopedTempDir dir;
    TestHost host;
    SettingsHost() { host.pluginConfigDir = dir.Path().string(); }
};
SettingsHost* g_host = nullptr;

SettingsHost& Host() {
    if (!g_host) {
        g_host = new SettingsHost;
        std::atexit([] {
            delete g_host;
            g_host = nullptr;
        });
    }
    return *g_host;
}

// ---- A model of the file's lines, independent of the profile code ----

struct Line {
    std::string_view text;  // without "\n" or "\r\n"
    std::string_view eol;
};

std::vector<Line> SplitLines(std::string_view s) {
    std::vector<Line> lines;
    while (!s.empty()) {
        const size_t nl = s.find('\n');
        if (nl == std::string_view::npos) {
            lines.push_back({s, {}});
            break;
        }
        const size_t end = nl > 0 && s[nl - 1] == '\r' ? nl - 1 : nl;
        lines.push_back({s.substr(0, end), s.substr(end, nl + 1 - end)});
        s.remove_prefix(nl + 1);
    }
    return lines;
}

std::string_view Trim(std::string_view s) {
    const char* blanks = " \t\r\v\f";
    const size_t first = s.find_first_not_of(blanks);
    if (first == std::string_view::npos) return {};
    return s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

struct Classified {
    bool header = false, key = false;
    std::string_view name;
};

Classified Classify(std::string_view text, bool first) {
    if (first && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    const std::string_view t = Trim(text);
    Classified c;
    if (t.empty() || t.front() == ';') return c;
    if (t.front() == '[') {
        const size_t close = t.rfind(']');
        if (close != std::string_view::npos) {
            c.header = true;
            c.name = Trim(t.substr(1, close - 1));
        }
        return c;
    }
    const size_t eq = text.find('=');
    if (eq == std::string_view::npos || Trim(text.substr(0, eq)).empty()) return c;
    c.key = true;
    c.name = Trim(text.substr(0, eq));
    return c;
}

// The file's lines less the ones the settings own: the first line of each Murkwell key within
// the Murkwell sections (a later duplicate is not the settings' and must stay). Tells whether
// the file had a Murkwell section.
std::vector<Line> OtherLines(std::string_view file, bool& hadSection) {
    const std::vector<Line> lines = SplitLines(file);
    const auto& settings = SettingEntries();
    std::vector<bool> seen(settings.size(), false);
    std::vector<Line> kept;
    bool inSection = false;
    hadSection = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        const Classified c = Classify(lines[i].text, i == 0);
        if (c.header) {
            inSection = SameName(c.name, "Murkwell");
            hadSection = hadSection || inSection;
        }
        bool owned = false;
        if (c.key && inSection)
            for (size_t k = 0; k < settings.size() && !owned; ++k)
                if (!seen[k] && SameName(c.name, settings[k].key)) owned = seen[k] = true;
        if (!owned) kept.push_back(lines[i]);
    }
    return kept;
}

std::string Bytes(const Line& line) { return std::string(line.text) + std::string(line.eol); }

// "Kept" means: the file before and after the save, each without the lines the settings own,
// are the same lines, byte for byte with their line endings, except that
//  - a file without a Murkwell section gains its header line, "[Murkwell]", at the end;
//  - the file's last line, when it had no line ending, may gain one ("\n" or "\r\n") because a
//    line is added after it.
void CheckKept(std::string_view before, std::string_view after) {
    bool hadSection = false, hasSection = false;
    const std::vector<Line> b = OtherLines(before, hadSection);
    const std::vector<Line> a = OtherLines(after, hasSection);
    FUZZ_CHECK(hasSection, "the saved file has a Murkwell section");
    const size_t added = hadSection ? 0 : 1;
    FUZZ_CHECK(a.size() == b.size() + added, "every other line is kept, and no line is added");
    for (size_t i = 0; i < b.size(); ++i) {
        const std::string was = Bytes(b[i]), is = Bytes(a[i]);
        const bool endingAdded = b[i].eol.empty() && i + 1 == b.size() && (is == was + "\n" || is == was + "\r\n");
        FUZZ_CHECK(is == was || endingAdded, "every other line is kept byte for byte");
    }
    if (added) FUZZ_CHECK(a.back().text == "[Murkwell]", "a missing section is added at the end");
}

// ---- Values ----

// What a float reads back as after being saved: its "%f" text through atof.
float AfterSave(float value) {
    char text[64];
    std::snprintf(text, sizeof text, "%f", static_cast<double>(value));
    return static_cast<float>(std::atof(text));
}

bool SameFloat(float a, float b) { return (std::isnan(a) && std::isnan(b)) || std::memcmp(&a, &b, sizeof a) == 0; }

void CheckReadBack(const GritSettings& saved, const GritSettings& read) {
#define WHAT (std::string(e.key) + " reads back as saved").c_str()
    for (const SettingEntry& e : SettingEntries()) {
        if (e.intField) FUZZ_CHECK(read.*e.intField == saved.*e.intField, WHAT);
        if (e.floatField) FUZZ_CHECK(SameFloat(read.*e.floatField, AfterSave(saved.*e.floatField)), WHAT);
    }
#undef WHAT
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SettingsHost& h = Host();
    const std::string path = h.dir.File("Murkwell.ini");
    const std::string before(reinterpret_cast<const char*>(data), size);
    WriteWholeFile(path, before);

    GritSettings loaded;
    LoadSettings(loaded);
    FUZZ_CHECK(SaveSettings(loaded), "the save succeeds");
    const std::string saved = ReadWholeFile(path);
    CheckKept(before, saved);

    GritSettings readBack;
    LoadSettings(readBack);
    CheckReadBack(loaded, readBack);

    FUZZ_CHECK(SaveSettings(readBack), "the second save succeeds");
    FUZZ_CHECK(ReadWholeFile(path) == saved, "saving what was read back changes nothing");
    return 0;
}
