// Private-profile (INI) functions with the Windows semantics the settings rely on:
//  - a write creates the file and the section when missing, replaces an existing value, and keeps
//    every other section, key, comment and line untouched, byte for byte (line endings included);
//  - section and key names compare case-insensitively (ASCII);
//  - a value is the text after the first '=' of its line, with surrounding blanks removed and one
//    pair of matching surrounding quotes (" or ') dropped;
//  - get-int reads an optional sign ('+' or '-') and the leading decimal digits of the value (none
//    gives 0, more than 32 bits wrap); an absent key or an empty value gives the default;
//  - lines whose first non-blank character is ';' are comments.
// Writes replace the file atomically (host/AtomicReplace.h: a temporary file in the same
// directory, flushed to the disk, then a rename; the old file's permissions are kept and a
// symbolic link is written through), so a crash or a full disk mid-write never leaves a
// truncated or corrupt file. Failures are reported by the return value only.
//
// Beyond the plain read and write, a write with a null value deletes the key and one with a null
// key deletes the whole section, as on Windows. Listing section or key names (a null section or
// key on read) is not provided: such a read yields the default. A write whose names or value
// would not read back as given (a line break anywhere, blanks around a name, ']' in a section
// name, '=' in a key, a key starting with '[' or ';') is refused: it returns FALSE and leaves the
// file as it was.
#pragma once
#include <functional>

#include "host/Win32Types.h"

UINT GetPrivateProfileIntA(const char* section, const char* key, int defaultValue, const char* path);

// Copies the value (or the default, less its trailing blanks) into buf, truncated to size - 1
// characters and terminated; returns the number of characters copied. Nothing is copied when buf
// is null or size is 0.
DWORD GetPrivateProfileStringA(const char* section, const char* key, const char* defaultValue, char* buf,
                               DWORD size, const char* path);

// Returns TRUE when the file holds the change afterwards (a write that changes nothing does not
// touch the file).
BOOL WritePrivateProfileStringA(const char* section, const char* key, const char* value, const char* path);

// Test hook: consulted once per file replacement, after the temporary file has been partly
// written; returning true makes that write fail there, as a full disk would. An empty function
// restores normal writes.
void SetProfileWriteFailureHook(std::function<bool()> hook);
