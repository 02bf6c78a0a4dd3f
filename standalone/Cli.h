// The `murkwell` command line: `bake` runs a grit run on a mesh file through the standalone host
// and the loaded plug-in's panel, `info` describes a mesh file as the host imports it, `panel`
// shows the plug-in's rollup page as the settings file leaves it, `about` shows its About box.
// All of it runs in-process, so tests and other front ends call RunCli directly.
#pragma once
#include <functional>
#include <optional>
#include <ostream>
#include <string>

#include "standalone/BakeOptions.h"
#include "standalone/ConfigDir.h"

// Exit codes.
enum CliExit : int {
    kExitDone = 0,       // finished; the output was written
    kExitFailed = 1,     // bad input, run refused, or the output could not be written
    kExitUsage = 2,      // bad command line (unknown option, bad or out-of-range value, wrong extension)
    kExitCancelled = 3,  // cancelled; nothing written
    kExitPartial = 4,    // cancelled; the partial map was written
};

// What the process around the command line offers. The defaults describe no terminal at all:
// plain progress lines, no questions, no signal handling.
struct CliEnvironment {
    bool stderrIsTerminal = false;  // progress as a redrawn bar
    bool stdinIsTerminal = false;   // questions are asked at the terminal
    bool catchInterrupts = false;   // Ctrl-C cancels a bake instead of ending the process
    EnvLookup getenv;               // environment variables (none when empty)
    // Asks a yes/no question at the terminal (true yes, false no, nullopt no answer);
    // `interruptsBefore` is the interrupt count when asked.
    std::function<std::optional<bool>(const std::string& question, int interruptsBefore)> ask;
    // Sees every progress percentage of a bake.
    std::function<void(int)> progressObserver;
    // Seconds for the progress display's times (a steady clock when empty).
    std::function<double()> clock;
    // The plug-in library when MURKWELL_PLUGIN does not name one; when empty, murkwell-plugin.so
    // beside the running program.
    std::string pluginPath;

    // The real process: terminals as detected, the environment, Ctrl-C handling, prompts on stderr.
    static CliEnvironment FromProcess();
};

int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err, const CliEnvironment& env);
int RunCli(int argc, char** argv, std::ostream& out, std::ostream& err);

// The commands, behind the parser.
int RunBake(const BakeOptions& options, const CliEnvironment& env, std::ostream& out, std::ostream& err);
int RunInfo(const std::string& input, const ImportOptions& import, std::ostream& out, std::ostream& err);
// `panel` and `about`; configDir as --config-dir (empty: the default directory).
int RunPanel(const std::string& configDir, const CliEnvironment& env, std::ostream& out, std::ostream& err);
int RunAbout(const std::string& configDir, const CliEnvironment& env, std::ostream& out, std::ostream& err);

// The plug-in library a command loads: $MURKWELL_PLUGIN when set, else env.pluginPath, else
// murkwell-plugin.so beside the running program.
std::string PluginPathFor(const CliEnvironment& env);
