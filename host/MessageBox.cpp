#include "host/MessageBox.h"

#include <cstdio>
#include <mutex>

namespace {
std::mutex g_mutex;
MessageBoxHandler g_handler;
}  // namespace

int MessageBoxA(HWND owner, const char* text, const char* caption, UINT type) {
    (void)owner;
    MessageBoxHandler handler;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        handler = g_handler;
    }
    const std::string t = text ? text : "";
    const std::string c = caption ? caption : "";
    if (handler) return handler(t, c, type);
    std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
    return (type & 0xFu) == MB_YESNO ? IDNO : IDOK;
}

MessageBoxHandler SetMessageBoxHandler(MessageBoxHandler handler) {
    std::lock_guard<std::mutex> lock(g_mutex);
    MessageBoxHandler old = std::move(g_handler);
    g_handler = std::move(handler);
    return old;
}
