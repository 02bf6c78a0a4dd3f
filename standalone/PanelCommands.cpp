// `murkwell panel` and `murkwell about`: the plug-in's rollup page and About box as text. Both
// load the plug-in library and open its utility through the standalone host, as the application
// does when its user opens the utility; closing it again saves the settings file, as there.
#include <iostream>

#include "host/MessageBox.h"
#include "hostapp/HostInstallation.h"
#include "hostapp/PluginLibrary.h"
#include "settings/GritSettings.h"
#include "standalone/Cli.h"
#include "standalone/PanelSession.h"
#include "standalone/ProgressDisplay.h"
#include "standalone/StandaloneHost.h"

namespace {

// Loads the library, installs a host with a panel and opens the utility, then hands the open
// panel to `look`.
template <class Look>
int WithOpenPanel(const std::string& configDirOption, const CliEnvironment& env, std::ostream& err, Look look) {
    auto fail = [&](const std::string& message) {
        err << "Murkwell: " << message << "\n" << std::flush;
        return static_cast<int>(kExitFailed);
    };
    std::string error;
    PluginLibrary library;
    if (!LoadPluginLibrary(PluginPathFor(env), library, error)) return fail(error);
    std::string configDir;
    if (!ResolveConfigDir(configDirOption, env.getenv, configDir, error)) return fail(error);

    ProgressDisplay progress(err, ProgressDisplay::Style::Quiet, env.clock);
    StandaloneHost host(progress, [] { return false; }, configDir);
    HostInstallation installation(&host, nullptr, [&](const std::string& text, const std::string&, UINT type) {
        err << "Murkwell: " << text << "\n" << std::flush;
        return (type & 0xFu) == MB_YESNO ? IDNO : IDOK;
    });
    if (!CheckSettingsFileReadable(SettingsFilePath(), error)) return fail(error);
    PanelSession panel(library, host);
    if (!panel.Open(error)) return fail(error);
    const int code = look(panel);
    panel.Close();
    return code;
}

}  // namespace

std::string PluginPathFor(const CliEnvironment& env) {
    if (const char* named = env.getenv ? env.getenv(kPluginVariable) : nullptr; named && *named) return named;
    if (!env.pluginPath.empty()) return env.pluginPath;
    return PluginBesideProgram();
}

int RunPanel(const std::string& configDir, const CliEnvironment& env, std::ostream& out, std::ostream& err) {
    return WithOpenPanel(configDir, env, err, [&](PanelSession& panel) {
        out << panel.Describe() << std::flush;
        return static_cast<int>(kExitDone);
    });
}

int RunAbout(const std::string& configDir, const CliEnvironment& env, std::ostream& out, std::ostream& err) {
    return WithOpenPanel(configDir, env, err, [&](PanelSession& panel) {
        const std::vector<std::string> texts = panel.PressAbout();
        if (texts.empty()) {
            err << "Murkwell: the About box did not open\n";
            return static_cast<int>(kExitFailed);
        }
        // The caption first, then the texts, a multi-line text line by line.
        out << texts.front() << "\n";
        for (size_t i = 1; i < texts.size(); ++i) {
            size_t start = 0;
            const std::string& t = texts[i];
            while (start <= t.size()) {
                const size_t end = std::min(t.find('\n', start), t.size());
                out << "  " << t.substr(start, end - start) << "\n";
                start = end + 1;
            }
        }
        out << std::flush;
        return static_cast<int>(kExitDone);
    });
}
