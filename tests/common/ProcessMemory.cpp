#include "tests/common/ProcessMemory.h"

#include <fstream>
#include <sstream>
#include <string>

namespace {
// A "Name:   1234 kB" line of /proc/self/status, in bytes.
std::size_t StatusBytes(const std::string& name) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind(name + ":", 0) != 0) continue;
        std::istringstream fields(line.substr(name.size() + 1));
        std::size_t kib = 0;
        fields >> kib;
        return kib * 1024;
    }
    return 0;
}
}  // namespace

bool ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";  // resets the peak resident size to the current one
    clear.flush();
    return static_cast<bool>(clear);
}

std::size_t ResidentBytes() { return StatusBytes("VmRSS"); }
std::size_t PeakResidentBytes() { return StatusBytes("VmHWM"); }
