// The plug-in built as a shared library. A Windows loader calls a DLL's entry point with the
// module's handle on load and unload; the platform loader here runs these two functions instead,
// and the module's handle is the address of its resource record. Compiled only into the shared
// library, so that programs linking the plug-in statically call the library entry themselves.
#include "plugin/Library.h"
#include "plugin/Resources.h"

namespace {
__attribute__((constructor)) void OnModuleLoad() { LibMain(PluginModule(), DLL_PROCESS_ATTACH, nullptr); }
__attribute__((destructor)) void OnModuleUnload() { LibMain(PluginModule(), DLL_PROCESS_DETACH, nullptr); }
}  // namespace
