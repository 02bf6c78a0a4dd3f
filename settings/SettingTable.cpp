#include "settings/SettingTable.h"

#include "settings/GritSettings.h"

namespace {

constexpr SettingEntry Entry(const SettingSpec<int>& s, int GritSettings::*field) {
    return {s.key, s.type, double(s.defaultValue), double(s.min), double(s.max), field, nullptr};
}
constexpr SettingEntry Entry(const SettingSpec<float>& s, float GritSettings::*field) {
    return {s.key, s.type, double(s.defaultValue), double(s.min), double(s.max), nullptr, field};
}

}  // namespace

const std::array<SettingEntry, kSettingCount>& SettingEntries() {
    static constexpr std::array<SettingEntry, kSettingCount> entries = {
        Entry(setting::XSiz, &GritSettings::XSiz),
        Entry(setting::YSiz, &GritSettings::YSiz),
        Entry(setting::algorithm, &GritSettings::algorithm),
        Entry(setting::horizontalSpread, &GritSettings::horizontalSpread),
        Entry(setting::verticalSpread, &GritSettings::verticalSpread),
        Entry(setting::mapChannel, &GritSettings::mapChannel),
        Entry(setting::dist, &GritSettings::dist),
        Entry(setting::selectedOnly, &GritSettings::selectedOnly),
        Entry(setting::noiseOn, &GritSettings::noiseOn),
        Entry(setting::noiseSize, &GritSettings::noiseSize),
        Entry(setting::mtlIDOn, &GritSettings::mtlIDOn),
        Entry(setting::mtlID, &GritSettings::mtlID),
        Entry(setting::addVertexColors, &GritSettings::addVertexColors),
    };
    return entries;
}
