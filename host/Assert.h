// The host's assertion report and debug output. Internal consistency failures (an index outside a
// table, tables of different sizes) are reported here with the module name and the line; the
// caller then skips the offending access and goes on. Both go to replaceable sinks, so a host can
// show them its own way and tests can capture them.
#pragma once
#include <functional>
#include <string>

// Reports an internal error at `line` of module `file`. Always returns.
void assert1(int line, const char* file);

// printf-style line to the host's debug output.
void DebugPrint(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

using AssertSink = std::function<void(int line, const char* file)>;
using DebugSink = std::function<void(const std::string& text)>;

// Install a sink; an empty function restores the default (assertions to stderr, debug output
// discarded). Returns the previous sink. Sinks may be called from worker threads.
AssertSink SetAssertSink(AssertSink sink);
DebugSink SetDebugSink(DebugSink sink);
