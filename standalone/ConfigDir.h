// The standalone host's plug-in configuration directory, where the settings file lives: the
// given directory, else $XDG_CONFIG_HOME/murkwell (when that is an absolute path), else
// $HOME/.config/murkwell. It is created when missing.
#pragma once
#include <functional>
#include <string>

using EnvLookup = std::function<const char*(const char*)>;

bool ResolveConfigDir(const std::string& given, const EnvLookup& env, std::string& dir, std::string& error);
