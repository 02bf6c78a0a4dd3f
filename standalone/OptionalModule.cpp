#include "standalone/OptionalModule.h"

#include <dlfcn.h>

#include <filesystem>
#include <map>
#include <mutex>

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

// Loads the module: by its bare name first (the search path of the program's own libraries),
// then from the program's folder. The error is the one that says most: a module that was found
// but could not be loaded (a library it needs is missing) beats one that was not found.
void* Load(const std::string& fileName, std::string& error) {
    dlerror();
    if (void* module = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
    error = LastLoadError();
    const fs::path beside = ProgramFolder() / fileName;
    std::error_code ec;
    if (!ProgramFolder().empty() && fs::is_regular_file(beside, ec)) {
        if (void* module = dlopen(beside.c_str(), RTLD_NOW | RTLD_LOCAL)) return module;
        error = LastLoadError();
    }
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
