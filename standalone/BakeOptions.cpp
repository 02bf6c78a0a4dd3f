#include "standalone/BakeOptions.h"

#include "standalone/ImportScale.h"

namespace {

// `what` = value must lie within [lo, hi]; on failure the error reads "<what> <value> is outside
// <lo> ... <hi>".
template <class T>
bool InRange(T value, const SettingSpec<T>& range, const std::string& what, std::string& error) {
    if (value >= range.min && value <= range.max) return true;
    error = what + " " + ShortNumberText(static_cast<double>(value)) + " is outside the range " + RangeText(range);
    return false;
}

// After a --dist outside the panel's range: the import scale that fits it, when one does.
std::string ScaleHint(float dist, double scale) {
    const std::string options = FittingScaleOptions(dist, scale);
    if (options.empty()) return "";
    return (dist < setting::dist.min ? "; for a mesh this small, scale it on import: use "
                                     : "; for a mesh this large, scale it on import: use ") +
           options;
}

}  // namespace

std::string RangeText(const SettingSpec<int>& range) {
    return ShortNumberText(range.min) + " ... " + ShortNumberText(range.max);
}
std::string RangeText(const SettingSpec<float>& range) {
    return ShortNumberText(range.min) + " ... " + ShortNumberText(range.max);
}

bool ParsePairText(const std::string& text, int& a, int& b) {
    const size_t x = text.find_first_of("xX");
    if (x == std::string::npos) return false;
    return ParseIntText(text.substr(0, x), a) && ParseIntText(text.substr(x + 1), b);
}

bool ParseModeText(const std::string& text, int& algorithm) {
    if (text == "uv") algorithm = ALGORITHM_UV_MAP;
    else if (text == "vertex") algorithm = ALGORITHM_VERTEX_COLORS;
    else if (text == "spatial") algorithm = ALGORITHM_SPATIAL;
    else return false;
    return true;
}

bool CheckOptionRanges(const BakeOptions& o, std::string& error) {
    if (o.size && (!InRange(o.size->first, setting::XSiz, "--size: the width", error) ||
                   !InRange(o.size->second, setting::YSiz, "--size: the height", error)))
        return false;
    if (o.spread &&
        (!InRange(o.spread->first, setting::horizontalSpread, "--spread: the horizontal spread", error) ||
         !InRange(o.spread->second, setting::verticalSpread, "--spread: the vertical spread", error)))
        return false;
    if (o.dist && !InRange(*o.dist, setting::dist, "--dist", error)) {
        error += ScaleHint(*o.dist, o.import.scale);
        return false;
    }
    if (o.channel && !InRange(*o.channel, setting::mapChannel, "--channel", error)) return false;
    if (o.noiseSize && !InRange(*o.noiseSize, setting::noiseSize, "--noise", error)) return false;
    if (o.mtlID && !InRange(*o.mtlID, setting::mtlID, "--mtl-id", error)) return false;
    return true;
}

bool CheckSettingsRanges(const GritSettings& s, std::string& error) {
    return InRange(s.XSiz, setting::XSiz, setting::XSiz.key, error) &&
           InRange(s.YSiz, setting::YSiz, setting::YSiz.key, error) &&
           InRange(s.horizontalSpread, setting::horizontalSpread, setting::horizontalSpread.key, error) &&
           InRange(s.verticalSpread, setting::verticalSpread, setting::verticalSpread.key, error) &&
           InRange(s.mapChannel, setting::mapChannel, setting::mapChannel.key, error) &&
           InRange(s.dist, setting::dist, setting::dist.key, error) &&
           InRange(s.noiseSize, setting::noiseSize, setting::noiseSize.key, error) &&
           InRange(s.mtlID, setting::mtlID, setting::mtlID.key, error);
}

void ApplyBakeOptions(const BakeOptions& o, GritSettings& s) {
    if (o.algorithm) s.algorithm = *o.algorithm;
    if (o.size) {
        s.XSiz = o.size->first;
        s.YSiz = o.size->second;
    }
    if (o.spread) {
        s.horizontalSpread = o.spread->first;
        s.verticalSpread = o.spread->second;
    }
    if (o.dist) s.dist = *o.dist;
    if (o.channel) s.mapChannel = *o.channel;
    if (o.selectedOnly) s.selectedOnly = *o.selectedOnly ? 1 : 0;
    if (o.noiseOn) s.noiseOn = *o.noiseOn ? 1 : 0;
    if (o.noiseSize) s.noiseSize = *o.noiseSize;
    if (o.mtlIDOn) s.mtlIDOn = *o.mtlIDOn ? 1 : 0;
    if (o.mtlID) s.mtlID = *o.mtlID;
    if (o.accumulate) s.addVertexColors = *o.accumulate ? 1 : 0;
}
