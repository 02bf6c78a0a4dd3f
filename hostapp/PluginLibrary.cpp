#include "hostapp/PluginLibrary.h"

#include <dlfcn.h>

#include <cstdio>
#include <filesystem>
#include <mutex>

namespace {

// The class the host programs know how to drive: Murkwell's utility.
constexpr Class_ID kUtilityClass(0x25E0D55Bu, 0x2D91FD3Eu);

std::string Hex(ULONG value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08lX", static_cast<unsigned long>(value));
    return buf;
}

template <class F>
F Lookup(void* module, const char* name) {
    return reinterpret_cast<F>(dlsym(module, name));
}

}  // namespace

bool LoadPluginLibrary(const std::string& path, PluginLibrary& library, std::string& error) {
    auto fail = [&](const std::string& why) {
        error = "the plug-in library " + path + " " + why;
        return false;
    };
    if (path.empty()) {
        error = std::string("no plug-in library: the program's folder is unknown; name the library with ") +
                kPluginVariable + "=PATH";
        return false;
    }
    std::error_code ec;
    if (!std::filesystem::is_regular_file(path, ec))
        return fail(std::string("is missing (the library is looked for beside the murkwell program; ") +
                    kPluginVariable + "=PATH names another)");

    // dlerror is process-wide state; loads are serialised so each reads its own message.
    static std::mutex loadMutex;
    std::lock_guard<std::mutex> lock(loadMutex);
    dlerror();
    void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!module) {
        const char* why = dlerror();
        return fail(std::string("cannot be loaded: ") + (why ? why : "unknown error"));
    }

    using DescriptionFn = const char* (*)();
    using NumberClassesFn = int (*)();
    using ClassDescFn = ClassDesc* (*)(int);
    using VersionFn = ULONG (*)();
    const auto description = Lookup<DescriptionFn>(module, "LibDescription");
    const auto numberClasses = Lookup<NumberClassesFn>(module, "LibNumberClasses");
    const auto classDesc = Lookup<ClassDescFn>(module, "LibClassDesc");
    const auto version = Lookup<VersionFn>(module, "LibVersion");
    if (!description || !numberClasses || !classDesc || !version)
        return fail("is not a plug-in: it lacks LibDescription, LibNumberClasses, LibClassDesc or LibVersion");

    const ULONG built = version();
    if (built != kHostVersion)
        return fail("was built for host version " + Hex(built) + ", but this host is version " + Hex(kHostVersion));
    if (numberClasses() < 1) return fail("declares no classes");
    ClassDesc* descriptor = classDesc(0);
    if (!descriptor) return fail("gives no class descriptor for class 0");
    if (descriptor->SuperClassID() != UTILITY_CLASS_ID || !(descriptor->ClassID() == kUtilityClass))
        return fail("does not hold the Murkwell utility (class 0 is another class)");
    // A utility's descriptor creates a UtilityObj.
    auto* utility = static_cast<UtilityObj*>(descriptor->Create(FALSE));
    if (!utility) return fail("did not create its utility");

    library.path = path;
    library.description = description() ? description() : "";
    library.descriptor = descriptor;
    library.utility = utility;
    return true;
}

std::string PluginBesideProgram() {
    std::error_code ec;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (ec || program.empty()) return "";
    return (program.parent_path() / kPluginFileName).string();
}
