#include "host/Interface.h"

#include <atomic>

namespace {
std::atomic<Interface*> g_core{nullptr};
std::atomic<BitmapManager*> g_manager{nullptr};
}  // namespace

Interface* GetCOREInterface() { return g_core.load(); }
Interface* SetCOREInterface(Interface* ip) { return g_core.exchange(ip); }
BitmapManager* TheManager() { return g_manager.load(); }
BitmapManager* SetTheManager(BitmapManager* manager) { return g_manager.exchange(manager); }
