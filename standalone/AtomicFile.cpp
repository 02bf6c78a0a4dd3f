#include "standalone/AtomicFile.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include <unistd.h>

namespace fs = std::filesystem;

namespace {
std::atomic<unsigned> g_counter{0};

fs::path DirectoryOf(const std::string& path) {
    fs::path dir = fs::path(path).parent_path();
    return dir.empty() ? fs::path(".") : dir;
}
}  // namespace

std::string TempPathBeside(const std::string& path) {
    const fs::path p(path);
    const std::string name = "." + p.filename().string() + ".murkwell-" + std::to_string(getpid()) + "-" +
                             std::to_string(g_counter.fetch_add(1)) + ".tmp";
    return (DirectoryOf(path) / name).string();
}

bool CommitTempFile(const std::string& tempPath, const std::string& path, std::string& error) {
    if (std::rename(tempPath.c_str(), path.c_str()) != 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        std::remove(tempPath.c_str());
        return false;
    }
    return true;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, std::string& error) {
    const std::string temp = TempPathBeside(path);
    std::FILE* f = std::fopen(temp.c_str(), "wbx");
    if (!f) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size() && std::fflush(f) == 0;
    const int writeErrno = errno;
    if (std::fclose(f) != 0 || !written) {
        error = "cannot write " + path + ": " + std::strerror(written ? errno : writeErrno);
        std::remove(temp.c_str());
        return false;
    }
    return CommitTempFile(temp, path, error);
}

bool CheckOutputPath(const std::string& path, std::string& error) {
    std::error_code ec;
    if (path.empty()) {
        error = "no output file given";
        return false;
    }
    if (fs::is_directory(path, ec)) {
        error = "cannot write " + path + ": it is a directory";
        return false;
    }
    const fs::path dir = DirectoryOf(path);
    if (!fs::is_directory(dir, ec)) {
        error = "cannot write " + path + ": the folder " + dir.string() + " does not exist";
        return false;
    }
    // The honest test of writability: create (and remove) a file there.
    const std::string probe = TempPathBeside(path);
    std::FILE* f = std::fopen(probe.c_str(), "wbx");
    if (!f) {
        error = "cannot write to the folder " + dir.string() + ": " + std::strerror(errno);
        return false;
    }
    std::fclose(f);
    std::remove(probe.c_str());
    return true;
}
