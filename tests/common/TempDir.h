// A fresh, empty directory under the system's temporary directory for one test; removed with
// everything in it when the object goes out of scope.
#pragma once
#include <filesystem>
#include <string>

class ScopedTempDir {
public:
    ScopedTempDir();
    ~ScopedTempDir();
    ScopedTempDir(const ScopedTempDir&) = delete;
    ScopedTempDir& operator=(const ScopedTempDir&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // The path of `name` inside the directory, as text.
    std::string File(const std::string& name) const { return (path_ / name).string(); }

private:
    std::filesystem::path path_;
};

// The whole content of a file, byte for byte ("" when it cannot be read).
std::string ReadWholeFile(const std::filesystem::path& path);
// Replaces a file's content with exactly these bytes.
void WriteWholeFile(const std::filesystem::path& path, const std::string& content);
