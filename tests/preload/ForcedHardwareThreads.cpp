// Preloaded into a test program (LD_PRELOAD) to make the machine report the number of hardware
// threads given in MURKWELL_HARDWARE_THREADS, so that the suite runs as it would on a machine of
// that size: std::thread::hardware_concurrency asks glibc's get_nprocs, and other code may ask
// get_nprocs_conf or sysconf. Without the variable (or with a value below 1) every call goes to
// the real function.
//
// Under a sanitizer the sanitizer's runtime must still be the first library loaded: preload it
// ahead of this one (LD_PRELOAD=<libasan.so>:<this library>).
#include <dlfcn.h>
#include <sys/sysinfo.h>
#include <unistd.h>

#include <cstdlib>

namespace {
int ForcedCount() {
    const char* text = std::getenv("MURKWELL_HARDWARE_THREADS");
    if (!text || !*text) return 0;
    char* end = nullptr;
    const long n = std::strtol(text, &end, 10);
    return *end == '\0' && n >= 1 && n <= 4096 ? static_cast<int>(n) : 0;
}

template <class Fn>
Fn Next(const char* name) {
    return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}
}  // namespace

extern "C" {

int get_nprocs(void) {
    if (const int n = ForcedCount()) return n;
    static const auto real = Next<int (*)()>("get_nprocs");
    return real ? real() : 1;
}

int get_nprocs_conf(void) {
    if (const int n = ForcedCount()) return n;
    static const auto real = Next<int (*)()>("get_nprocs_conf");
    return real ? real() : 1;
}

long sysconf(int name) {
    if (name == _SC_NPROCESSORS_ONLN || name == _SC_NPROCESSORS_CONF) {
        if (const int n = ForcedCount()) return n;
    }
    static const auto real = Next<long (*)(int)>("sysconf");
    return real ? real(name) : -1;
}

}  // extern "C"
