#include "standalone/ConfigDir.h"

#include <filesystem>

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
