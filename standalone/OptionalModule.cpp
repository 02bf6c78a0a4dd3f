#include "standalone/OptionalModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

#include "host/AtomicReplace.h"

namespace fs = std::filesystem;

namespace {

std::string LastLoadError() {
    const char* why = dlerror();
    return why ? why : "unknown error";
}

fs::path ProgramFolder() {
    std::error_code ec;
    const fs::path program = fs::read_symlink("/proc/self/exe", ec);
    return ec ? fs::path() : program.parent_path();
}

// The folder of the host layer's shared library (libmurkwell-host.so), where the build puts the
// modules; found from the address of one of its functions.
fs::path HostLibraryFolder() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<const void*>(&ReplaceFileContents), &info) == 0 || !info.dli_fname) return {};
    std::error_code ec;
    const fs::path library = fs::canonical(info.dli_fname, ec);
    return ec ? fs::path() : library.parent_path();
}

// Loads the module from the host library's folder, else from the program's, else by its bare
// name (the system's library search path). A module that was found but could not be loaded (a
// library it needs is missing) gives that error rather than "not found".
void* Load(const std::string& fileName, std::string& error) {
    for (const fs::path& folder : {HostLibraryFolder(), ProgramFolder()}) {
        std::error_code ec;
        if (folder.empty() || !fs::is_regular_file(folder / fileName, ec)) continue;
        dlerror();
        if (void* module = dlopen((folder / fileName).c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        error = LastLoadError();
        return nullptr;
    }
    dlerror();
    if (void* module = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    error = LastLoadError();
    return nullptr;
}

}  // namespace

void* OptionalModuleEntry(const std::string& fileName, const char* entry, std::string& error) {
    // dlerror is process-wide state, and a module is loaded once: loads are serialised.
    static std::mutex mutex;
    static std::map<std::string, void*> loaded;
    std::lock_guard<std::mutex> lock(mutex);
    void*& module = loaded[fileName];
    if (!module) {
        std::string why;
        module = Load(fileName, why);
        if (!module) {
            error = "the module " + fileName + " cannot be loaded: " + why;
            return nullptr;
        }
    }
    dlerror();
    void* address = dlsym(module, entry);
    if (!address) {
        error = "the module " + fileName + " has no entry " + entry + " (is it from another build?)";
        return nullptr;
    }
    return address;
}
