// The standalone host's plug-in configuration directory, where the settings file lives: the
// given directory, else $XDG_CONFIG_HOME/murkwell (when that is an absolute path), else
// $HOME/.config/murkwell. It is created when missing.
#pragma once
#include <functional>
#include <string>

using EnvLookup = std::function<const char*(const char*)>;

bool ResolveConfigDir(const std::string& given, const EnvLookup& env, std::string& dir, std::string& error);

// Checks, before the panel loads it, that the settings file can be read when it is there. One
// that exists but cannot be read would be taken for the defaults, and the run would quietly use
// them (its save would then fail too, leaving the file as it was). False with an error naming
// the file and the reason.
bool CheckSettingsFileReadable(const std::string& path, std::string& error);
