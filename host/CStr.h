// The host's string class: an owned, always NUL-terminated character string.
#pragma once
#include <string>

class CStr {
public:
    CStr() = default;
    CStr(const char* s) : s_(s ? s : "") {}
    CStr(std::string s) : s_(std::move(s)) {}
    const char* data() const { return s_.c_str(); }
    operator const char*() const { return s_.c_str(); }
    int Length() const { return static_cast<int>(s_.size()); }
    CStr& operator=(const char* s) { s_ = s ? s : ""; return *this; }
    CStr& operator+=(const char* s) { s_ += s ? s : ""; return *this; }
    CStr operator+(const char* s) const { return CStr(s_ + (s ? s : "")); }
    bool operator==(const CStr& o) const { return s_ == o.s_; }
    const std::string& str() const { return s_; }

private:
    std::string s_;
};
