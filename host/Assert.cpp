#include "host/Assert.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {
std::mutex& SinkMutex() {
    static std::mutex m;
    return m;
}
AssertSink& AssertSinkRef() {
    static AssertSink s;
    return s;
}
DebugSink& DebugSinkRef() {
    static DebugSink s;
    return s;
}
}  // namespace

void assert1(int line, const char* file) {
    AssertSink sink;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        sink = AssertSinkRef();
    }
    if (sink) {
        sink(line, file);
    } else {
        std::fprintf(stderr, "Murkwell: internal error in %s at line %d\n", file ? file : "?", line);
    }
}

void DebugPrint(const char* format, ...) {
    DebugSink sink;
    {
        std::lock_guard<std::mutex> lock(SinkMutex());
        sink = DebugSinkRef();
    }
    if (!sink) return;  // nobody listens: skip the formatting
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (n > 0) {
        std::vector<char> buf(static_cast<size_t>(n) + 1);
        std::vsnprintf(buf.data(), buf.size(), format, args);
        text.assign(buf.data(), static_cast<size_t>(n));
    }
    va_end(args);
    sink(text);
}

AssertSink SetAssertSink(AssertSink sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    AssertSink old = std::move(AssertSinkRef());
    AssertSinkRef() = std::move(sink);
    return old;
}

DebugSink SetDebugSink(DebugSink sink) {
    std::lock_guard<std::mutex> lock(SinkMutex());
    DebugSink old = std::move(DebugSinkRef());
    DebugSinkRef() = std::move(sink);
    return old;
}
