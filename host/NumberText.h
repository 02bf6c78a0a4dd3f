// Numbers in edit-box text: read the way the C runtime's atoi and atof read (the longest leading
// part that is a decimal number, after leading white space; 0 when there is none), and the text
// a float spinner shows.
#pragma once
#include <string>

// The leading decimal integer of text, clamped to the int range. *found tells whether the text
// starts with a number at all.
int LeadingInt(const char* text, bool* found = nullptr);

// The leading decimal number (digits, an optional fraction and an optional exponent) of text,
// as a double; values too large for a double give +-infinity, too small ones 0. Independent of
// the C locale. Infinity and NaN spellings are not numbers here.
double LeadingDouble(const char* text, bool* found = nullptr);

// The shortest fixed-point text that reads back (through LeadingDouble, then float) as exactly
// `value`, with at least one decimal: 30 -> "30.0", 12.5 -> "12.5", 0.001f -> "0.001".
std::string FormatSpinnerFloat(float value);
