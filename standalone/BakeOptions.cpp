#include "standalone/BakeOptions.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

using L = GritSettingLimits;

std::string Num(double v) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", v);
    return buf;
}

// `what` = value must lie within [lo, hi]; on failure the error reads "<what> <value> is outside
// <lo> ... <hi>".
template <class T>
bool InRange(T value, T lo, T hi, const std::string& what, std::string& error) {
    if (value >= lo && value <= hi) return true;
    error = what + " " + Num(static_cast<double>(value)) + " is outside the range " + Num(static_cast<double>(lo)) +
            " ... " + Num(static_cast<double>(hi));
    return false;
}

}  // namespace

bool ParseIntText(const std::string& text, int& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    const auto r = std::from_chars(b, e, value);
    return r.ec == std::errc() && r.ptr == e && b != e;
}

bool ParseFloatText(const std::string& text, float& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    float v = 0.0f;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || b == e || !std::isfinite(v)) return false;
    value = v;
    return true;
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
    if (o.size && (!InRange(o.size->first, L::XSizMin, L::XSizMax, "--size: the width", error) ||
                   !InRange(o.size->second, L::YSizMin, L::YSizMax, "--size: the height", error)))
        return false;
    if (o.spread &&
        (!InRange(o.spread->first, L::horizontalSpreadMin, L::horizontalSpreadMax, "--spread: the horizontal spread", error) ||
         !InRange(o.spread->second, L::verticalSpreadMin, L::verticalSpreadMax, "--spread: the vertical spread", error)))
        return false;
    if (o.dist && !InRange(*o.dist, L::distMin, L::distMax, "--dist", error)) return false;
    if (o.channel && !InRange(*o.channel, L::mapChannelMin, L::mapChannelMax, "--channel", error)) return false;
    if (o.noiseSize && !InRange(*o.noiseSize, L::noiseSizeMin, L::noiseSizeMax, "--noise", error)) return false;
    if (o.mtlID && !InRange(*o.mtlID, L::mtlIDMin, L::mtlIDMax, "--mtl-id", error)) return false;
    return true;
}

bool CheckSettingsRanges(const GritSettings& s, std::string& error) {
    return InRange(s.XSiz, L::XSizMin, L::XSizMax, "XSiz", error) &&
           InRange(s.YSiz, L::YSizMin, L::YSizMax, "YSiz", error) &&
           InRange(s.horizontalSpread, L::horizontalSpreadMin, L::horizontalSpreadMax, "horizontalSpread", error) &&
           InRange(s.verticalSpread, L::verticalSpreadMin, L::verticalSpreadMax, "verticalSpread", error) &&
           InRange(s.mapChannel, L::mapChannelMin, L::mapChannelMax, "mapChannel", error) &&
           InRange(s.dist, L::distMin, L::distMax, "dist", error) &&
           InRange(s.noiseSize, L::noiseSizeMin, L::noiseSizeMax, "noiseSize", error) &&
           InRange(s.mtlID, L::mtlIDMin, L::mtlIDMax, "mtlID", error);
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
