// Numbers in command-line texts: strict parsers (the whole text must be the number, a leading '+'
// allowed) and the two ways messages show a number.
#pragma once
#include <string>

bool ParseIntText(const std::string& text, int& value);
bool ParseFloatText(const std::string& text, float& value);    // finite values only
bool ParseDoubleText(const std::string& text, double& value);  // finite values only

// "%g": six significant digits, for ranges and values in messages.
std::string ShortNumberText(double value);
// The shortest text that reads back as exactly `value`, for numbers a user copies into an option.
std::string ExactNumberText(double value);
std::string ExactNumberText(float value);
