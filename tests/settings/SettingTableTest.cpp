// The settings table is the one place for each setting's key, default and range: the README's
// table of keys must say the same, and the record and the loader must take their defaults from it.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "settings/GritSettings.h"
#include "settings/SettingTable.h"

namespace {

std::string Number(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

std::string ReadmeText() {
    std::ifstream in(std::filesystem::path(MURKWELL_SOURCE_DIR) / "README.md");
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

TEST(SettingTable, ReadmeTableOfKeysMatchesTheTable) {
    const std::string readme = ReadmeText();
    ASSERT_FALSE(readme.empty());
    const size_t section = readme.find("### Settings file keys");
    ASSERT_NE(section, std::string::npos);
    for (const SettingEntry& e : SettingEntries()) {
        const std::string row = std::string("| `") + e.key + "` | " + Number(e.defaultValue) + " | " +
                                Number(e.min) + " \u2026 " + Number(e.max) + " |";
        EXPECT_NE(readme.find(row, section), std::string::npos) << "README lacks the row " << row;
    }
}

TEST(SettingTable, EntriesFollowTheRecordAndReachEveryField) {
    // Writing each entry's field in a record must touch thirteen distinct fields, and each
    // entry's default must be what a fresh record holds.
    const GritSettings fresh;
    GritSettings marked;
    std::set<std::string> keys;
    int index = 0;
    for (const SettingEntry& e : SettingEntries()) {
        EXPECT_TRUE(keys.insert(e.key).second) << e.key;
        ASSERT_TRUE((e.intField != nullptr) != (e.floatField != nullptr)) << e.key;
        if (e.intField) {
            EXPECT_EQ(fresh.*e.intField, static_cast<int>(e.defaultValue)) << e.key;
            marked.*e.intField = 5000 + index;
        } else {
            EXPECT_EQ(fresh.*e.floatField, static_cast<float>(e.defaultValue)) << e.key;
            marked.*e.floatField = static_cast<float>(5000 + index);
        }
        EXPECT_LE(e.min, e.defaultValue) << e.key;
        EXPECT_GE(e.max, e.defaultValue) << e.key;
        ++index;
    }
    const int ints[] = {marked.XSiz, marked.YSiz, marked.algorithm, marked.horizontalSpread, marked.verticalSpread,
                        marked.mapChannel, static_cast<int>(marked.dist), marked.selectedOnly, marked.noiseOn,
                        static_cast<int>(marked.noiseSize), marked.mtlIDOn, marked.mtlID, marked.addVertexColors};
    for (int i = 0; i < kSettingCount; ++i) EXPECT_EQ(ints[i], 5000 + i) << "field " << i;
}
