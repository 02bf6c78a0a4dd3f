// What a bake does when its output cannot be written: a full disk, a folder in the way, a process
// killed in the middle of the write. The old output survives, the message names the cause, and
// no temporary stays behind for long. Outputs that are symbolic links are written through.
#include <gtest/gtest.h>

#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>

#include "host/AtomicReplace.h"
#include "tests/common/TempDir.h"
#include "tests/standalone/CliRunner.h"
#include "tests/standalone/ImageReadBack.h"

namespace fs = std::filesystem;

namespace {

const std::string kExample = std::string(MURKWELL_SOURCE_DIR) + "/examples/grooved_block.obj";
const std::string kOld = "the previous output";

class OutputFault : public ::testing::Test {
protected:
    CliResult Bake(const std::string& output, const std::string& mode = "uv") {
        return RunMurkwell({"bake", kExample, "-o", output, "--mode", mode, "--size", "200x200", "--spread", "2x1",
                            "--dist", "2", "-q", "--config-dir", dir.File("cfg")});
    }
    static std::set<std::string> Entries(const fs::path& at) {
        std::set<std::string> names;
        for (const auto& e : fs::directory_iterator(at)) names.insert(e.path().filename().string());
        return names;
    }
    ScopedTempDir dir;
};

}  // namespace

TEST_F(OutputFault, FullDiskIsAClearErrorAndKeepsTheOldOutputs) {
    const fs::path small = dir.Path() / "small";
    fs::create_directory(small);
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", small.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        const fs::path& at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{small};
    const std::pair<const char*, const char*> outputs[] = {
        {"map.pgm", "uv"}, {"map.png", "uv"}, {"map.tif", "uv"}, {"map.exr", "uv"}, {"mesh.ply", "vertex"}};
    for (const auto& [name, mode] : outputs) WriteWholeFile(small / name, kOld);
    // Fill what is left.
    std::FILE* filler = std::fopen((small / "filler").c_str(), "wb");
    ASSERT_NE(filler, nullptr);
    const std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size() && std::fflush(filler) == 0) {
    }
    std::fclose(filler);

    for (const auto& [name, mode] : outputs) {
        const std::string output = (small / name).string();
        const CliResult r = Bake(output, mode);
        EXPECT_EQ(r.code, kExitFailed) << name;
        EXPECT_NE(r.err.find("Murkwell: cannot write " + output + ": No space left on device"), std::string::npos)
            << name << ": " << r.err.substr(0, 500);
        EXPECT_EQ(ReadWholeFile(output), kOld) << name;
    }
    EXPECT_EQ(Entries(small), (std::set<std::string>{"filler", "map.pgm", "map.png", "map.tif", "map.exr", "mesh.ply"}));
}

TEST_F(OutputFault, FileSizeLimitIsAClearErrorAndKeepsTheOldMap) {
    const std::string output = dir.File("map.pgm");  // 80 kB of samples
    WriteWholeFile(output, kOld);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t child = fork();
    if (child == 0) {
        close(pipeFds[0]);
        signal(SIGXFSZ, SIG_IGN);  // a failed write instead of a killed process
        const rlimit limit{16384, 16384};
        setrlimit(RLIMIT_FSIZE, &limit);
        const CliResult r = Bake(output);
        [[maybe_unused]] const auto n = write(pipeFds[1], r.err.data(), r.err.size());
        _exit(r.code);
    }
    close(pipeFds[1]);
    std::string err;
    char buf[512];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) err.append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), kExitFailed);
    EXPECT_NE(err.find("cannot write " + output + ": File too large"), std::string::npos) << err;
    EXPECT_EQ(ReadWholeFile(output), kOld);
    EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"cfg", "map.pgm"}));
}

TEST_F(OutputFault, KilledMidWriteKeepsTheOldMapAndTheNextBakeCleansUp) {
    const std::string output = dir.File("map.png");
    WriteWholeFile(output, kOld);
    const pid_t child = fork();
    if (child == 0) {
        SetReplaceStageHook([&output](ReplaceStage s, const std::string& target) {
            if (s == ReplaceStage::PartlyWritten && target == output) kill(getpid(), SIGKILL);
            return true;
        });
        Bake(output);
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(ReadWholeFile(output), kOld);
    const auto left = Entries(dir.Path());
    ASSERT_EQ(left.size(), 3u);  // cfg, map.png and the hidden temporary
    for (const auto& n : left)
        if (n != "cfg" && n != "map.png") {
            EXPECT_EQ(n.rfind(".map.png.murkwell-", 0), 0u) << n;
        }

    const CliResult r = Bake(output);
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_EQ(ReadPngBack(output).width, 200);
    EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"cfg", "map.png"}));
}

TEST_F(OutputFault, FolderInTheWayIsRefusedBeforeAnyWork) {
    fs::create_directory(dir.Path() / "map.png");
    const CliResult r = Bake(dir.File("map.png"));
    EXPECT_EQ(r.code, kExitFailed);
    EXPECT_NE(r.err.find("cannot write " + dir.File("map.png") + ": it is a directory"), std::string::npos) << r.err;
    EXPECT_TRUE(fs::is_empty(dir.Path() / "map.png"));
}

TEST_F(OutputFault, SymbolicLinkOutputsAreWrittenThrough) {
    fs::create_directory(dir.Path() / "maps");
    WriteWholeFile(dir.Path() / "maps" / "real.png", kOld);
    fs::create_symlink("maps/real.png", dir.Path() / "latest.png");
    const CliResult r = Bake(dir.File("latest.png"));
    ASSERT_EQ(r.code, kExitDone) << r.err;
    EXPECT_TRUE(fs::is_symlink(dir.Path() / "latest.png"));
    EXPECT_EQ(ReadPngBack((dir.Path() / "maps" / "real.png").string()).width, 200);
    EXPECT_EQ(Entries(dir.Path() / "maps"), std::set<std::string>{"real.png"});
}
