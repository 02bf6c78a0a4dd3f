// Whole-file replacement: the old file survives every failure and every kill before the rename,
// temporaries of dead writers are cleaned by the next write, a full disk is an error that names
// the cause, and links are written through.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "host/AtomicReplace.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

// The temporaries in `dir`: hidden names ending in .tmp.
std::set<std::string> Temporaries(const fs::path& dir) {
    std::set<std::string> temps;
    for (const auto& n : Entries(dir))
        if (n.front() == '.' && n.size() > 4 && n.substr(n.size() - 4) == ".tmp") temps.insert(n);
    return temps;
}

struct StageHookGuard {
    ~StageHookGuard() { SetReplaceStageHook({}); }
};

// Runs `body` in a child process and returns its wait status.
template <class F>
int InChild(F body) {
    const pid_t pid = fork();
    if (pid == 0) {
        body();
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return status;
}

const char* StageName(ReplaceStage s) {
    switch (s) {
        case ReplaceStage::TempCreated: return "TempCreated";
        case ReplaceStage::PartlyWritten: return "PartlyWritten";
        case ReplaceStage::ContentWritten: return "ContentWritten";
        case ReplaceStage::Renamed: return "Renamed";
    }
    return "?";
}

const std::string kOld = "the old content, which must survive\n";
const std::string kNew(100000, 'n');  // big enough that half of it is a real partial write

}  // namespace

TEST(AtomicReplace, ReplacesWholeWithAHiddenTemporaryBesideTheTarget) {
    ScopedTempDir dir;
    const std::string target = dir.File("out.bin");
    std::string error;
    ASSERT_TRUE(ReplaceFileContents(target, "first", error)) << error;
    ASSERT_TRUE(ReplaceFileContents(target, "second", error)) << error;
    EXPECT_EQ(ReadWholeFile(target), "second");
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"out.bin"});

    // While a replacement is open its temporary sits beside the target, hidden; abandoning it
    // removes it and keeps the target.
    FileReplacement open(target);
    ASSERT_TRUE(open.Begin(error)) << error;
    ASSERT_TRUE(open.Write("third"));
    const fs::path temp = open.TempPath();
    EXPECT_EQ(temp.parent_path(), dir.Path());
    EXPECT_EQ(temp.filename().string().rfind(".out.bin.murkwell-", 0), 0u) << temp;
    EXPECT_TRUE(fs::exists(temp));
    open.Abandon();
    EXPECT_FALSE(fs::exists(temp));
    EXPECT_EQ(ReadWholeFile(target), "second");

    // A writer's own failure fails the commit with its reason.
    FileReplacement failing(target);
    ASSERT_TRUE(failing.Begin(error)) << error;
    failing.Write("x");
    failing.Fail("the encoder gave up");
    EXPECT_FALSE(failing.Commit(error));
    EXPECT_EQ(error, "cannot write " + target + ": the encoder gave up");
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"out.bin"});
}

TEST(AtomicReplace, KeepsTheOldPermissions) {
    ScopedTempDir dir;
    const fs::path target = dir.Path() / "private.ini";
    WriteWholeFile(target, kOld);
    const auto mode = fs::perms::owner_read | fs::perms::owner_write;
    fs::permissions(target, mode);
    std::string error;
    ASSERT_TRUE(ReplaceFileContents(target.string(), "new", error)) << error;
    EXPECT_EQ(fs::status(target).permissions(), mode);
}

TEST(AtomicReplace, UnusableTargetsFailAndLeaveNothing) {
    ScopedTempDir dir;
    std::string error;
    fs::create_directory(dir.Path() / "folder");
    WriteWholeFile(dir.Path() / "folder" / "keep", "x");
    EXPECT_FALSE(ReplaceFileContents(dir.File("folder"), "data", error));
    EXPECT_EQ(error, "cannot write " + dir.File("folder") + ": it is a directory");
    EXPECT_FALSE(ReplaceFileContents(dir.File("missing/out.bin"), "data", error));
    EXPECT_NE(error.find("cannot write " + dir.File("missing/out.bin")), std::string::npos) << error;
    WriteWholeFile(dir.Path() / "plain", "keep");
    EXPECT_FALSE(ReplaceFileContents(dir.File("plain/out.bin"), "data", error));
    EXPECT_FALSE(ReplaceFileContents("", "data", error));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "plain"), "keep");
    EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"folder", "plain"}));
    EXPECT_EQ(Entries(dir.Path() / "folder"), std::set<std::string>{"keep"});
}

TEST(AtomicReplace, OutputPathCheckFindsFoldersThatCannotTakeTheFile) {
    ScopedTempDir dir;
    std::string error;
    EXPECT_TRUE(CheckOutputPath(dir.File("fine.png"), error)) << error;
    EXPECT_TRUE(Entries(dir.Path()).empty());  // the probe is gone
    EXPECT_FALSE(CheckOutputPath(dir.File("nope/out.png"), error));
    EXPECT_NE(error.find("does not exist"), std::string::npos) << error;
    WriteWholeFile(dir.Path() / "plain", "x");
    EXPECT_FALSE(CheckOutputPath(dir.File("plain/out.png"), error));
    EXPECT_NE(error.find("is not a folder"), std::string::npos) << error;
    EXPECT_FALSE(CheckOutputPath(dir.Path().string(), error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    EXPECT_FALSE(CheckOutputPath("", error));
    // A folder nobody may create files in, not even the superuser.
    if (fs::is_directory("/proc")) {
        EXPECT_FALSE(CheckOutputPath("/proc/murkwell-out.png", error));
        EXPECT_NE(error.find("cannot write to the folder /proc"), std::string::npos) << error;
    }
}

TEST(AtomicReplace, LinksAreWrittenThrough) {
    ScopedTempDir dir;
    const fs::path real = dir.Path() / "real.png", link = dir.Path() / "link.png";
    WriteWholeFile(real, kOld);
    fs::create_symlink("real.png", link);  // relative, as users make them
    std::string error;
    ASSERT_TRUE(ReplaceFileContents(link.string(), "new", error)) << error;
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(real), "new");
    EXPECT_TRUE(CheckOutputPath(link.string(), error)) << error;

    // A link whose file does not exist yet: the file is created where the link points.
    fs::create_directory(dir.Path() / "sub");
    const fs::path dangling = dir.Path() / "dangling.png";
    fs::create_symlink("sub/made.png", dangling);
    ASSERT_TRUE(ReplaceFileContents(dangling.string(), "made", error)) << error;
    EXPECT_TRUE(fs::is_symlink(dangling));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "sub" / "made.png"), "made");

    // A link to a folder is a folder; a loop of links is an error.
    fs::create_directory_symlink("sub", dir.Path() / "tosub");
    EXPECT_FALSE(ReplaceFileContents(dir.File("tosub"), "x", error));
    EXPECT_NE(error.find("directory"), std::string::npos) << error;
    fs::create_symlink("loop2", dir.Path() / "loop1");
    fs::create_symlink("loop1", dir.Path() / "loop2");
    EXPECT_FALSE(ReplaceFileContents(dir.File("loop1"), "x", error));
    EXPECT_FALSE(CheckOutputPath(dir.File("loop1"), error));
    EXPECT_NE(error.find("symbolic link"), std::string::npos) << error;
    EXPECT_TRUE(Temporaries(dir.Path()).empty());
    EXPECT_TRUE(Temporaries(dir.Path() / "sub").empty());
}

TEST(AtomicReplace, FailureAtAnyStageKeepsTheOldFile) {
    StageHookGuard guard;
    ScopedTempDir dir;
    const std::string target = dir.File("out.bin");
    for (ReplaceStage stage : {ReplaceStage::TempCreated, ReplaceStage::PartlyWritten, ReplaceStage::ContentWritten}) {
        WriteWholeFile(target, kOld);
        SetReplaceStageHook([stage](ReplaceStage s, const std::string&) { return s != stage; });
        std::string error;
        EXPECT_FALSE(ReplaceFileContents(target, kNew, error)) << StageName(stage);
        EXPECT_EQ(error, "cannot write " + target + ": No space left on device") << StageName(stage);
        EXPECT_EQ(ReadWholeFile(target), kOld) << StageName(stage);
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"out.bin"}) << StageName(stage);
    }
}

// A writer killed at any point before its rename leaves the old file whole; what it leaves
// behind is a hidden temporary, which the next replacement of the file removes.
TEST(AtomicReplace, KilledWriterLeavesTheOldFileAndItsTemporaryIsCleanedNextTime) {
    ScopedTempDir dir;
    const std::string target = dir.File("map.png");
    for (ReplaceStage stage : {ReplaceStage::TempCreated, ReplaceStage::PartlyWritten, ReplaceStage::ContentWritten,
                               ReplaceStage::Renamed}) {
        WriteWholeFile(target, kOld);
        const int status = InChild([&] {
            SetReplaceStageHook([stage](ReplaceStage s, const std::string&) {
                if (s == stage) kill(getpid(), SIGKILL);
                return true;
            });
            std::string error;
            ReplaceFileContents(target, kNew, error);
        });
        ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << StageName(stage);
        const bool renamed = stage == ReplaceStage::Renamed;
        EXPECT_EQ(ReadWholeFile(target), renamed ? kNew : kOld) << StageName(stage);
        EXPECT_EQ(Temporaries(dir.Path()).size(), renamed ? 0u : 1u) << StageName(stage);

        std::string error;
        ASSERT_TRUE(ReplaceFileContents(target, "next", error)) << error;
        EXPECT_EQ(ReadWholeFile(target), "next");
        EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"map.png"}) << StageName(stage);
    }
}

TEST(AtomicReplace, TemporariesOfLiveWritersAndOtherFilesAreLeftAlone) {
    ScopedTempDir dir;
    const std::string target = dir.File("a.ini");
    // A live process (a child waiting to be told to end) "is writing" a.ini.
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const pid_t writer = fork();
    if (writer == 0) {
        char c;
        close(pipeFds[1]);
        while (read(pipeFds[0], &c, 1) < 0) {
        }
        _exit(0);
    }
    close(pipeFds[0]);
    const std::string live = ".a.ini.murkwell-" + std::to_string(writer) + "-0.tmp";
    WriteWholeFile(dir.Path() / live, "in progress");
    // Names that only look alike: another file's temporary, and stray names.
    const std::set<std::string> others = {".b.ini.murkwell-999999999-0.tmp", ".a.ini.murkwell-x-0.tmp",
                                          ".a.ini.murkwell-12.tmp", "a.ini.murkwell-999999999-0.tmp"};
    for (const auto& n : others) WriteWholeFile(dir.Path() / n, "x");

    std::string error;
    ASSERT_TRUE(ReplaceFileContents(target, "v1", error)) << error;
    EXPECT_TRUE(fs::exists(dir.Path() / live));
    for (const auto& n : others) EXPECT_TRUE(fs::exists(dir.Path() / n)) << n;

    // Once the writer has gone, its temporary is stale.
    close(pipeFds[1]);
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(RemoveStaleTemporaries(target), 1);
    EXPECT_FALSE(fs::exists(dir.Path() / live));
    for (const auto& n : others) EXPECT_TRUE(fs::exists(dir.Path() / n)) << n;
}

TEST(AtomicReplace, ThreadsReplacingOneFileEachWriteWhole) {
    ScopedTempDir dir;
    const std::string target = dir.File("shared.bin");
    auto writer = [&target](char c) {
        for (int i = 0; i < 25; ++i) {
            std::string error;
            EXPECT_TRUE(ReplaceFileContents(target, std::string(5000, c), error)) << error;
        }
    };
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    const std::string content = ReadWholeFile(target);
    EXPECT_TRUE(content == std::string(5000, 'a') || content == std::string(5000, 'b'));
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"shared.bin"});
}

// A file size limit makes the write fail the way a full disk does: the error names the cause
// and the old file stays.
TEST(AtomicReplaceDiskFull, FileSizeLimitGivesAClearErrorAndKeepsTheOldFile) {
    ScopedTempDir dir;
    const std::string target = dir.File("out.bin");
    WriteWholeFile(target, kOld);
    int pipeFds[2];
    ASSERT_EQ(pipe(pipeFds), 0);
    const int status = InChild([&] {
        close(pipeFds[0]);
        signal(SIGXFSZ, SIG_IGN);  // a failed write instead of a killed process
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::string error;
        const bool ok = ReplaceFileContents(target, kNew, error);
        [[maybe_unused]] const auto n = write(pipeFds[1], error.data(), error.size());
        _exit(ok ? 0 : 1);
    });
    close(pipeFds[1]);
    std::string error;
    char buf[256];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) error.append(buf, static_cast<size_t>(n));
    close(pipeFds[0]);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_EQ(error, "cannot write " + target + ": File too large");
    EXPECT_EQ(ReadWholeFile(target), kOld);
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"out.bin"});
}

// A really full file system: a small tmpfs, mounted in a mount namespace of this test process
// alone, where the user may do that.
TEST(AtomicReplaceDiskFull, FullFileSystemGivesAClearErrorAndKeepsTheOldFile) {
    ScopedTempDir dir;
    const fs::path mnt = dir.Path() / "small";
    fs::create_directory(mnt);
    if (geteuid() != 0 || unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        mount("tmpfs", mnt.c_str(), "tmpfs", 0, "size=64k") != 0)
        GTEST_SKIP() << "cannot mount a small file system here";
    struct Unmount {
        const fs::path& at;
        ~Unmount() { umount(at.c_str()); }
    } unmount{mnt};
    const std::string target = (mnt / "map.png").string();
    WriteWholeFile(target, kOld);
    std::string error;
    EXPECT_FALSE(ReplaceFileContents(target, kNew, error));  // 100 kB into 64 kB
    EXPECT_EQ(error, "cannot write " + target + ": No space left on device");
    EXPECT_EQ(ReadWholeFile(target), kOld);
    EXPECT_EQ(Entries(mnt), std::set<std::string>{"map.png"});
    // Once there is room again, the same write goes through.
    ASSERT_TRUE(ReplaceFileContents(target, std::string(20000, 'n'), error)) << error;
    EXPECT_EQ(Entries(mnt), std::set<std::string>{"map.png"});
}
