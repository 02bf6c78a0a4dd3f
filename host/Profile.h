// Private-profile (INI) functions with the Windows semantics the settings rely on:
//  - a write creates the file and the section when missing, replaces an existing value, and keeps
//    every other section, key, comment and line untouched;
//  - section and key names compare case-insensitively;
//  - get-int reads the leading decimal digits of the value (none gives 0), the default when the
//    key is absent.
// Writes replace the file atomically (temporary file, then rename), so a crash mid-write never
// leaves a truncated or corrupt file. Failures are reported by the return value only.
#pragma once
#include "host/Win32Types.h"

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* path);

// Copies the value (or the default) into buf, truncated to size - 1 characters and terminated;
// returns the number of characters copied.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buf,
                               DWORD size, const char* path);

// Returns TRUE when the file was written.
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* path);
