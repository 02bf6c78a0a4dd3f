#include "standalone/OptionNumbers.h"

#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

template <class T>
bool ParseFiniteText(const std::string& text, T& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    T v = 0;
    const auto r = std::from_chars(b, e, v);
    if (r.ec != std::errc() || r.ptr != e || b == e || !std::isfinite(v)) return false;
    value = v;
    return true;
}

template <class T>
std::string Exact(T v) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

}  // namespace

bool ParseIntText(const std::string& text, int& value) {
    const char* b = text.data();
    const char* e = b + text.size();
    if (b != e && *b == '+') ++b;
    const auto r = std::from_chars(b, e, value);
    return r.ec == std::errc() && r.ptr == e && b != e;
}

bool ParseFloatText(const std::string& text, float& value) { return ParseFiniteText(text, value); }

bool ParseDoubleText(const std::string& text, double& value) { return ParseFiniteText(text, value); }

std::string ShortNumberText(double value) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", value);
    return buf;
}

std::string ExactNumberText(double value) { return Exact(value); }

std::string ExactNumberText(float value) { return Exact(value); }
