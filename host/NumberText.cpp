#include "host/NumberText.h"

#include <cctype>
#include <charconv>
#include <climits>
#include <limits>
#include <system_error>

namespace {
const char* SkipSpace(const char* p) {
    while (*p && std::isspace(static_cast<unsigned char>(*p))) ++p;
    return p;
}
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
}  // namespace

int LeadingInt(const char* text, bool* found) {
    if (found) *found = false;
    if (!text) return 0;
    const char* p = SkipSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    if (!IsDigit(*p)) return 0;
    if (found) *found = true;
    long long value = 0;
    for (; IsDigit(*p); ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;  // saturate
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

double LeadingDouble(const char* text, bool* found) {
    if (found) *found = false;
    if (!text) return 0.0;
    const char* p = SkipSpace(text);
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    const char* mantissa = p;
    // Decimal magnitude of the first non-zero digit (10^magnitude), for out-of-range results.
    long long magnitude = 0;
    bool seenNonZero = false;
    int digits = 0;
    for (; IsDigit(*p); ++p, ++digits) {
        if (seenNonZero) ++magnitude;
        else if (*p != '0') seenNonZero = true;
    }
    if (*p == '.') {
        for (++p; IsDigit(*p); ++p, ++digits)
            if (!seenNonZero) {
                --magnitude;
                if (*p != '0') seenNonZero = true;
            }
    }
    if (digits == 0) return 0.0;
    if (found) *found = true;
    const char* end = p;
    long long exponent = 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool negativeExponent = false;
        if (*q == '+' || *q == '-') negativeExponent = *q++ == '-';
        if (IsDigit(*q)) {  // "1e" without digits reads as 1
            for (; IsDigit(*q); ++q)
                if (exponent < 100000) exponent = exponent * 10 + (*q - '0');
            if (negativeExponent) exponent = -exponent;
            end = q;
        }
    }
    double value = 0.0;
    const auto result = std::from_chars(mantissa, end, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range)
        value = magnitude + exponent >= 0 ? std::numeric_limits<double>::infinity() : 0.0;
    return negative ? -value : value;
}

std::string FormatSpinnerFloat(float value) {
    char buffer[128];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer - 3, value, std::chars_format::fixed);
    std::string text(buffer, result.ptr);
    if (text.find_first_of(".na") == std::string::npos) text += ".0";  // not for inf / nan
    return text;
}
