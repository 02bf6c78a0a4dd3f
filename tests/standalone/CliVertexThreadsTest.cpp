// `murkwell bake --mode vertex` writes the same coloured mesh, byte for byte, whatever --threads
// says.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/common/TempDir.h"
#include "tests/common/TestPaths.h"
#include "tests/standalone/CliRunner.h"

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";

TEST(CliVertexThreads, ColouredObjIsTheSameForEveryThreadCount) {
    ScopedTempDir dir;
    // The shared real mesh when it is there (many faces per vertex, sums that do not add up
    // exactly), else the project's example.
    const std::string spot = SharedMeshPath("spot.obj");
    const std::string input = spot.empty() ? kExample : spot;
    const std::string dist = spot.empty() ? "2" : "1";
    std::string first;
    for (const char* threads : {"1", "2", "3", "8"}) {
        SCOPED_TRACE(threads);
        const std::string out = dir.File(std::string("colours-") + threads + ".obj");
        const CliResult r = RunMurkwell({"bake", input, "-o", out, "--mode", "vertex", "--spread", "8x1", "--dist", dist,
                                         "--threads", threads, "--config-dir", dir.File("cfg"), "-q"});
        ASSERT_EQ(r.code, kExitDone) << r.err;
        const std::string written = ReadWholeFile(std::filesystem::path(out));
        ASSERT_GT(written.size(), 1000u);
        if (first.empty()) {
            first = written;
        } else {
            EXPECT_TRUE(written == first) << "the colours differ from the one-thread bake";
        }
    }
}

}  // namespace
