#include "host/Window.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "host/WindowMessages.h"

namespace {
struct Registry {
    std::mutex mutex;
    std::unordered_map<std::uintptr_t, std::unique_ptr<Window>> windows;
    std::uintptr_t next = 1;
    HWND active = nullptr;
    // Windows whose destruction has begun, so that a procedure that destroys its own window
    // while handling WM_DESTROY does not start the teardown twice.
    std::vector<HWND> destroying;
};

Registry& TheRegistry() {
    static Registry registry;
    return registry;
}

// Handles look like addresses but are plain serial numbers: never dereferenced, never reused.
HWND HandleFromSerial(std::uintptr_t serial) { return reinterpret_cast<HWND>(serial << 4); }
std::uintptr_t Key(HWND hwnd) { return reinterpret_cast<std::uintptr_t>(hwnd); }

void Detach(HWND child, HWND parent) {
    Window* p = FindWindowRecord(parent);
    if (!p) return;
    auto& c = p->children;
    c.erase(std::remove(c.begin(), c.end(), child), c.end());
}
}  // namespace

HWND RegisterWindow(Window window) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const HWND hwnd = HandleFromSerial(r.next++);
    window.handle = hwnd;
    r.windows.emplace(Key(hwnd), std::make_unique<Window>(std::move(window)));
    return hwnd;
}

Window* FindWindowRecord(HWND hwnd) {
    if (!hwnd) return nullptr;
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const auto it = r.windows.find(Key(hwnd));
    return it == r.windows.end() ? nullptr : it->second.get();
}

HWND CreateFrameWindow(const char* title, RECT rect) {
    Window w;
    w.kind = WindowKind::Frame;
    w.text = title ? title : "";
    w.rect = rect;
    return RegisterWindow(std::move(w));
}

BOOL DestroyWindow(HWND hwnd) {
    Registry& r = TheRegistry();
    Window* w = FindWindowRecord(hwnd);
    if (!w) return FALSE;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        if (std::find(r.destroying.begin(), r.destroying.end(), hwnd) != r.destroying.end()) return FALSE;
        r.destroying.push_back(hwnd);
    }
    // The procedure still sees all its controls while it handles WM_DESTROY.
    if (w->kind == WindowKind::Dialog && w->proc) w->proc(hwnd, WM_DESTROY, 0, 0);
    // Children (controls, or the dialogs living in a frame) go next, last first.
    w = FindWindowRecord(hwnd);
    while (w && !w->children.empty()) {
        const HWND child = w->children.back();
        w->children.pop_back();
        DestroyWindow(child);
        w = FindWindowRecord(hwnd);
    }
    const HWND parent = w ? w->parent : nullptr;
    Detach(hwnd, parent);
    std::unique_ptr<Window> doomed;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        const auto it = r.windows.find(Key(hwnd));
        if (it != r.windows.end()) {
            doomed = std::move(it->second);
            r.windows.erase(it);
        }
        if (r.active == hwnd) r.active = nullptr;
        r.destroying.erase(std::remove(r.destroying.begin(), r.destroying.end(), hwnd), r.destroying.end());
    }
    return doomed ? TRUE : FALSE;
}

BOOL IsWindow(HWND hwnd) { return FindWindowRecord(hwnd) ? TRUE : FALSE; }

HWND GetParent(HWND hwnd) {
    const Window* w = FindWindowRecord(hwnd);
    return w ? w->parent : nullptr;
}

BOOL EnableWindow(HWND hwnd, BOOL enable) {
    Window* w = FindWindowRecord(hwnd);
    if (!w) return FALSE;
    const bool wasDisabled = !w->enabled;
    w->enabled = enable != FALSE;
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND hwnd) {
    const Window* w = FindWindowRecord(hwnd);
    return w && w->enabled ? TRUE : FALSE;
}

int GetDlgCtrlID(HWND hwnd) {
    const Window* w = FindWindowRecord(hwnd);
    return w && w->kind == WindowKind::Control ? w->id : 0;
}

int GetWindowTextA(HWND hwnd, char* buffer, int maxCount) {
    if (!buffer || maxCount <= 0) return 0;
    buffer[0] = '\0';
    const Window* w = FindWindowRecord(hwnd);
    if (!w) return 0;
    const size_t n = std::min(w->text.size(), static_cast<size_t>(maxCount - 1));
    std::memcpy(buffer, w->text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

BOOL SetWindowTextA(HWND hwnd, const char* text) {
    Window* w = FindWindowRecord(hwnd);
    if (!w) return FALSE;
    w->text = text ? text : "";
    return TRUE;
}

BOOL GetWindowRect(HWND hwnd, RECT* rect) {
    const Window* w = FindWindowRecord(hwnd);
    if (!w || !rect) return FALSE;
    *rect = w->rect;
    return TRUE;
}

BOOL MoveWindow(HWND hwnd, int x, int y, int cx, int cy) {
    Window* w = FindWindowRecord(hwnd);
    if (!w) return FALSE;
    const int dx = x - w->rect.left, dy = y - w->rect.top;
    w->rect = RECT{x, y, x + cx, y + cy};
    for (HWND child : w->children) {
        Window* c = FindWindowRecord(child);
        if (!c) continue;
        MoveWindow(child, c->rect.left + dx, c->rect.top + dy, c->rect.right - c->rect.left, c->rect.bottom - c->rect.top);
    }
    return TRUE;
}

HWND GetActiveWindow() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.active;
}

HWND SetActiveWindow(HWND hwnd) {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    const HWND previous = r.active;
    if (!hwnd || r.windows.count(Key(hwnd))) r.active = hwnd;
    return previous;
}

int LiveWindowCount() {
    Registry& r = TheRegistry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return static_cast<int>(r.windows.size());
}

LRESULT SendMessage(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    const Window* w = FindWindowRecord(hwnd);
    if (!w || w->kind != WindowKind::Dialog || !w->proc) return 0;
    const DLGPROC proc = w->proc;
    return proc(hwnd, message, wParam, lParam);
}
