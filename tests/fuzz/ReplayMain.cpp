// Runs a fuzz target's entry point over saved inputs, for builds without libFuzzer: every file
// named on the command line, and every file inside each directory named (a directory that does
// not exist is skipped: a target may have no regression inputs yet). A failed check or a crash
// in the target ends the program abnormally; otherwise it prints how many inputs it ran and
// exits 0. At least one input must be found, so an empty run cannot pass unnoticed.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace fs = std::filesystem;

namespace {
std::vector<fs::path> InputsOf(const fs::path& arg) {
    std::vector<fs::path> inputs;
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
        for (const auto& entry : fs::directory_iterator(arg, ec))
            if (entry.is_regular_file(ec)) inputs.push_back(entry.path());
        std::sort(inputs.begin(), inputs.end());
    } else if (fs::is_regular_file(arg, ec)) {
        inputs.push_back(arg);
    }
    return inputs;
}
}  // namespace

int main(int argc, char** argv) {
    int ran = 0;
    for (int i = 1; i < argc; ++i) {
        for (const fs::path& input : InputsOf(argv[i])) {
            std::ifstream in(input, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            if (!in.good() && !in.eof()) {
                std::fprintf(stderr, "cannot read %s\n", input.string().c_str());
                return 1;
            }
            std::fprintf(stderr, "replaying %s\n", input.string().c_str());
            // A copy of exactly the input's size, so that reads past its end are caught under
            // AddressSanitizer as they are under libFuzzer; never a null pointer, as there.
            std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
            static std::uint8_t none = 0;
            LLVMFuzzerTestOneInput(data.empty() ? &none : data.data(), data.size());
            ++ran;
        }
    }
    std::printf("%d inputs replayed\n", ran);
    return ran > 0 ? 0 : 1;
}
