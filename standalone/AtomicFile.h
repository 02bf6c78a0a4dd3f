// Output files are written whole or not at all: the content goes to a temporary file in the
// target's own directory, which then replaces the target in one rename. A failed write leaves
// no temporary behind and an existing target untouched.
#pragma once
#include <string>
#include <string_view>

// A fresh name for a temporary file beside `path` (same directory, hidden, unique per call).
std::string TempPathBeside(const std::string& path);

// Moves `tempPath` onto `path`; on failure removes `tempPath` and says why.
bool CommitTempFile(const std::string& tempPath, const std::string& path, std::string& error);

// Writes `bytes` to `path` through a temporary file.
bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error);

// Checks, before any work, that a file can be created beside `path` (its directory exists and is
// writable) and that `path` is not a directory.
bool CheckOutputPath(const std::string& path, std::string& error);
