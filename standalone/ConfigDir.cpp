#include "standalone/ConfigDir.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

bool ResolveConfigDir(const std::string& given, const EnvLookup& env, std::string& dir, std::string& error) {
    fs::path path;
    if (!given.empty()) {
        path = given;
    } else {
        const char* xdg = env ? env("XDG_CONFIG_HOME") : nullptr;
        const char* home = env ? env("HOME") : nullptr;
        if (xdg && *xdg && fs::path(xdg).is_absolute()) {
            path = fs::path(xdg) / "murkwell";
        } else if (home && *home) {
            path = fs::path(home) / ".config" / "murkwell";
        } else {
            error = "no configuration directory: neither XDG_CONFIG_HOME nor HOME is set; give --config-dir DIR";
            return false;
        }
    }
    std::error_code ec;
    if (!fs::is_directory(path, ec)) {
        fs::create_directories(path, ec);
        if (ec || !fs::is_directory(path, ec)) {
            error = "cannot create the configuration directory " + path.string() + (ec ? ": " + ec.message() : "");
            return false;
        }
    }
    dir = path.string();
    return true;
}

bool CheckSettingsFileReadable(const std::string& path, std::string& error) {
    auto fail = [&](const std::string& why) {
        error = "cannot read the settings file " + path + ": " + why;
        return false;
    };
    std::error_code ec;
    const fs::file_status st = fs::status(path, ec);
    if (st.type() == fs::file_type::not_found) return true;  // the defaults, and created on saving
    if (ec) return fail(ec.message());
    if (fs::is_directory(st)) return fail("it is a directory");
    if (!fs::is_regular_file(st)) return fail("it is not a regular file");
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return fail(std::error_code(errno, std::generic_category()).message());
    std::fclose(f);
    return true;
}
