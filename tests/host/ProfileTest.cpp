// The INI functions: reads, in-place writes that keep every other byte, line endings, refused
// input and failed writes that leave the file as it was.
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <thread>

#include "host/AtomicReplace.h"
#include "host/Profile.h"
#include "tests/common/TempDir.h"

namespace fs = std::filesystem;

namespace {

std::string ReadString(const char* section, const char* key, const char* def, const std::string& path,
                       DWORD size = 256) {
    std::string buf(size, '#');
    const DWORD n = GetPrivateProfileStringA(section, key, def, buf.data(), size, path.c_str());
    EXPECT_EQ(buf[n], '\0');
    return buf.substr(0, n);
}

int ReadInt(const char* section, const char* key, int def, const std::string& path) {
    return static_cast<int>(GetPrivateProfileIntA(section, key, def, path.c_str()));
}

std::set<std::string> Entries(const fs::path& dir) {
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

struct FailureHookGuard {
    ~FailureHookGuard() { SetProfileWriteFailureHook({}); }
};

}  // namespace

TEST(ProfileRead, MissingFileSectionOrKeyGiveTheDefault) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    EXPECT_EQ(ReadInt("S", "k", 42, ini), 42);
    EXPECT_EQ(ReadString("S", "k", "dflt", ini), "dflt");
    WriteWholeFile(ini, "[S]\nk=5\n[T]\nother=1\n");
    EXPECT_EQ(ReadInt("S", "missing", 42, ini), 42);
    EXPECT_EQ(ReadInt("U", "k", 42, ini), 42);
    EXPECT_EQ(ReadInt("T", "k", 42, ini), 42);  // a key of another section is not seen
    EXPECT_EQ(ReadInt("S", "k", 42, ini), 5);
    // The default loses its trailing blanks; a null default reads as empty.
    EXPECT_EQ(ReadString("S", "missing", "x y  \t", ini), "x y");
    EXPECT_EQ(ReadString("S", "missing", nullptr, ini), "");
    // Null names read the default (listing names is not provided).
    EXPECT_EQ(ReadString(nullptr, "k", "d", ini), "d");
    EXPECT_EQ(ReadString("S", nullptr, "d", ini), "d");
}

TEST(ProfileRead, IntegersReadTheLeadingDecimalDigits) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini,
                   "[S]\n"
                   "plain=1011\n"
                   "suffix=12abc\n"
                   "letters=abc\n"
                   "negative=-5\n"
                   "plus=+7\n"
                   "decimal=3.9\n"
                   "hex=0x10\n"
                   "empty=\n"
                   "blank=   \n"
                   "quoted=\"64\"\n"
                   "huge=4294967297\n");
    EXPECT_EQ(ReadInt("S", "plain", 1, ini), 1011);
    EXPECT_EQ(ReadInt("S", "suffix", 1, ini), 12);
    EXPECT_EQ(ReadInt("S", "letters", 200, ini), 0);  // present without digits: 0, not the default
    EXPECT_EQ(ReadInt("S", "negative", 1, ini), -5);
    EXPECT_EQ(ReadInt("S", "plus", 1, ini), 7);
    EXPECT_EQ(ReadInt("S", "decimal", 1, ini), 3);
    EXPECT_EQ(ReadInt("S", "hex", 1, ini), 0);
    EXPECT_EQ(ReadInt("S", "empty", 9, ini), 9);  // an empty value reads as absent
    EXPECT_EQ(ReadInt("S", "blank", 9, ini), 9);
    EXPECT_EQ(ReadInt("S", "quoted", 1, ini), 64);
    EXPECT_EQ(GetPrivateProfileIntA("S", "huge", 1, ini.c_str()), 1u);  // wraps modulo 2^32
}

TEST(ProfileRead, ValuesAreTrimmedUnquotedAndTruncated) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini,
                   "  [ S ]  \n"
                   "  spaced  =   hello world  \t\n"
                   "dq=\"  kept inside  \"\n"
                   "sq='x'\n"
                   "unmatched=\"x'\n"
                   "eq=a=b\n"
                   "long=abcdef\n");
    EXPECT_EQ(ReadString("S", "spaced", "", ini), "hello world");
    EXPECT_EQ(ReadString("S", "dq", "", ini), "  kept inside  ");
    EXPECT_EQ(ReadString("S", "sq", "", ini), "x");
    EXPECT_EQ(ReadString("S", "unmatched", "", ini), "\"x'");
    EXPECT_EQ(ReadString("S", "eq", "", ini), "a=b");
    EXPECT_EQ(ReadString("S", "long", "", ini, 4), "abc");
    EXPECT_EQ(ReadString("S", "long", "", ini, 1), "");
    EXPECT_EQ(ReadString("S", "missing", "defaultText", ini, 5), "defa");
    // Size 0: nothing is written at all.
    char buf[4] = {'#', '#', '#', '#'};
    EXPECT_EQ(GetPrivateProfileStringA("S", "long", "", buf, 0, ini.c_str()), 0u);
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(GetPrivateProfileStringA("S", "long", "", nullptr, 10, ini.c_str()), 0u);
}

TEST(ProfileRead, NamesMatchCaseInsensitively) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "[MURKWELL]\nxSIZ=77\n");
    EXPECT_EQ(ReadInt("Murkwell", "XSiz", 200, ini), 77);
    EXPECT_EQ(ReadInt("murkwell", "xsiz", 200, ini), 77);
}

TEST(ProfileRead, CommentsAndStrayLinesAreNotKeys) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini,
                   "k=outside\n"
                   "[S]\n"
                   ";k=commented\n"
                   "   ; k=indented comment\n"
                   "k\n"
                   "[broken\n"
                   "k=first\n"
                   "k=second\n"
                   "[S]\n"
                   "j=later block\n");
    // A key before any section belongs to none; a header without ']' does not open a section.
    EXPECT_EQ(ReadString("S", "k", "", ini), "first");
    EXPECT_EQ(ReadString("S", "j", "", ini), "later block");  // a repeated section is searched too
}

TEST(ProfileRead, ByteOrderMarkIsSkipped) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "\xEF\xBB\xBF[S]\nk=3\n");
    EXPECT_EQ(ReadInt("S", "k", 0, ini), 3);
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "4", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "\xEF\xBB\xBF[S]\nk=4\n");
}

TEST(ProfileWrite, CreatesTheFileAndTheSection) {
    ScopedTempDir dir;
    const std::string ini = dir.File("new.ini");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "a", "1", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("S", "b", "two words", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("T", "c", "", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "[S]\na=1\nb=two words\n[T]\nc=\n");
    EXPECT_EQ(ReadString("S", "b", "", ini), "two words");
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"new.ini"});
}

TEST(ProfileWrite, ReplacesInPlaceAndKeepsEveryOtherByte) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    const std::string before =
        "; top comment\n"
        "[Other]\n"
        "k = 1\n"
        "\n"
        "[S]\n"
        "  ; note about k\n"
        "  K  =  old value  \n"
        "tail=unchanged\t\n"
        "\n"
        "\n"
        "[Last]\n"
        "z=9";
    WriteWholeFile(ini, before);
    ASSERT_TRUE(WritePrivateProfileStringA("s", "k", "new", ini.c_str()));
    // The key's own spelling and spacing stay; only the value changes.
    const std::string replaced =
        "; top comment\n"
        "[Other]\n"
        "k = 1\n"
        "\n"
        "[S]\n"
        "  ; note about k\n"
        "  K  =  new\n"
        "tail=unchanged\t\n"
        "\n"
        "\n"
        "[Last]\n"
        "z=9";
    EXPECT_EQ(ReadWholeFile(ini), replaced);

    // A new key goes after the section's last non-blank line; the blank lines stay before the
    // next section.
    ASSERT_TRUE(WritePrivateProfileStringA("S", "added", "x", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini),
              "; top comment\n[Other]\nk = 1\n\n[S]\n  ; note about k\n  K  =  new\n"
              "tail=unchanged\t\nadded=x\n\n\n[Last]\nz=9");

    // A key in the last section of a file without a final line break, then a new section.
    ASSERT_TRUE(WritePrivateProfileStringA("Last", "y", "8", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("New", "n", "0", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini),
              "; top comment\n[Other]\nk = 1\n\n[S]\n  ; note about k\n  K  =  new\n"
              "tail=unchanged\t\nadded=x\n\n\n[Last]\nz=9\ny=8\n[New]\nn=0\n");
    EXPECT_EQ(ReadString("Other", "k", "", ini), "1");
}

TEST(ProfileWrite, KeepsCrLfLineEndings) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "[S]\r\na=1\r\n; c\r\n");
    EXPECT_EQ(ReadInt("S", "a", 0, ini), 1);
    ASSERT_TRUE(WritePrivateProfileStringA("S", "a", "2", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("S", "b", "3", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("T", "c", "4", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "[S]\r\na=2\r\n; c\r\nb=3\r\n[T]\r\nc=4\r\n");
    EXPECT_EQ(ReadString("S", "a", "", ini), "2");
}

TEST(ProfileWrite, RepeatedKeyAndSection) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "[S]\nk=1\nk=2\n[T]\n[s]\nj=3\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "9", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("S", "j", "8", ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("S", "new", "7", ini.c_str()));
    // The line that a read finds is the one replaced; a new key joins the first block.
    EXPECT_EQ(ReadWholeFile(ini), "[S]\nk=9\nk=2\nnew=7\n[T]\n[s]\nj=8\n");
}

TEST(ProfileWrite, NullValueDeletesTheKeyAndNullKeyTheSection) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    WriteWholeFile(ini, "[S]\na=1\nb=2\n[T]\nc=3\n[s]\nd=4\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "b", nullptr, ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "[S]\na=1\n[T]\nc=3\n[s]\nd=4\n");
    ASSERT_TRUE(WritePrivateProfileStringA("S", "missing", nullptr, ini.c_str()));
    ASSERT_TRUE(WritePrivateProfileStringA("S", nullptr, nullptr, ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "[T]\nc=3\n");
    // Deleting from a file that does not exist creates nothing.
    ASSERT_TRUE(WritePrivateProfileStringA("S", "a", nullptr, dir.File("none.ini").c_str()));
    EXPECT_FALSE(fs::exists(dir.File("none.ini")));
}

TEST(ProfileWrite, RefusesTextThatWouldNotReadBack) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    const std::string before = "[S]\nk=1\n";
    WriteWholeFile(ini, before);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "1\n[Evil]\nx=2", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "a\rb", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "a=b", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "[k", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", ";k", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", " k", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S]x", "k", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S\nT", "k", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA(nullptr, "k", "1", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "1", ""));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "1", nullptr));
    EXPECT_EQ(ReadWholeFile(ini), before);
}

TEST(ProfileWrite, FailedWriteLeavesTheFileAndNoTemporary) {
    FailureHookGuard guard;
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    const std::string before = "[S]\nk=1\n; a comment that must survive\n";
    WriteWholeFile(ini, before);
    int calls = 0;
    SetProfileWriteFailureHook([&calls] {
        ++calls;
        return true;
    });
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "2", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "new", "2", ini.c_str()));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "3", dir.File("b.ini").c_str()));
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(ReadWholeFile(ini), before);
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"a.ini"});

    // A write that changes nothing does not touch the file at all.
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "1", ini.c_str()));
    EXPECT_EQ(calls, 3);

    SetProfileWriteFailureHook({});
    EXPECT_TRUE(WritePrivateProfileStringA("S", "k", "2", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "[S]\nk=2\n; a comment that must survive\n");
}

TEST(ProfileWrite, UnwritableTargetsFailCleanly) {
    ScopedTempDir dir;
    // The target is a directory.
    fs::create_directory(dir.Path() / "a.ini");
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "1", dir.File("a.ini").c_str()));
    // The directory does not exist, or is a file.
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "1", (dir.Path() / "nowhere" / "b.ini").string().c_str()));
    WriteWholeFile(dir.Path() / "plain", "keep");
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "1", (dir.Path() / "plain" / "b.ini").string().c_str()));
    EXPECT_EQ(ReadWholeFile(dir.Path() / "plain"), "keep");
    EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"a.ini", "plain"}));
    EXPECT_TRUE(fs::is_empty(dir.Path() / "a.ini"));
    // Reads of such paths give the default.
    EXPECT_EQ(ReadInt("S", "k", 5, dir.File("a.ini")), 5);
}

TEST(ProfileWrite, ReadOnlyDirectoryFailsAndKeepsTheFile) {
    ScopedTempDir dir;
    const fs::path sub = dir.Path() / "ro";
    fs::create_directory(sub);
    const std::string ini = (sub / "a.ini").string();
    WriteWholeFile(ini, "[S]\nk=1\n");
    fs::permissions(sub, fs::perms::owner_read | fs::perms::owner_exec);
    {
        // Privileged users write anyway; then there is nothing to check here.
        std::FILE* probe = std::fopen((sub / "probe").string().c_str(), "wb");
        if (probe) {
            std::fclose(probe);
            fs::remove(sub / "probe");
            GTEST_SKIP() << "directory permissions are not enforced for this user";
        }
    }
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "2", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "[S]\nk=1\n");
    EXPECT_EQ(Entries(sub), std::set<std::string>{"a.ini"});
}

TEST(ProfileWrite, KeepsPermissionsAndWritesThroughLinks) {
    ScopedTempDir dir;
    const fs::path real = dir.Path() / "real.ini";
    const fs::path link = dir.Path() / "link.ini";
    WriteWholeFile(real, "[S]\nk=1\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(real, link);
    ASSERT_TRUE(WritePrivateProfileStringA("S", "k", "2", link.string().c_str()));
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadWholeFile(real), "[S]\nk=2\n");
    EXPECT_EQ(fs::status(real).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_EQ(Entries(dir.Path()), (std::set<std::string>{"link.ini", "real.ini"}));
}

TEST(ProfileWrite, SettingsPathThatIsNotAFileIsNeverReplaced) {
    ScopedTempDir dir;
    // A FIFO where the file should be: it is not read (that would block) and not replaced.
    const fs::path fifo = dir.Path() / "fifo.ini";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "1", fifo.string().c_str()));
    EXPECT_EQ(ReadInt("S", "k", 7, fifo.string()), 7);
    EXPECT_TRUE(fs::is_fifo(fifo));
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"fifo.ini"});
}

TEST(ProfileWrite, SettingsFileThisUserMayNotReadIsNeverReplaced) {
    ScopedTempDir dir;
    // Replacing it would lose what it holds.
    const fs::path locked = dir.Path() / "locked.ini";
    WriteWholeFile(locked, "[S]\nk=1\nother=keep\n");
    fs::permissions(locked, fs::perms::none);
    if (std::FILE* probe = std::fopen(locked.c_str(), "rb")) {
        std::fclose(probe);
        GTEST_SKIP() << "file permissions are not enforced for this user";
    }
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "2", locked.string().c_str()));
    fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(ReadWholeFile(locked), "[S]\nk=1\nother=keep\n");
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"locked.ini"});
}

TEST(ProfileWrite, WriterKilledMidWriteLeavesTheOldFile) {
    ScopedTempDir dir;
    const std::string ini = dir.File("Murkwell.ini");
    const std::string before = "[Murkwell]\nXSiz=200\n; mine\n";
    WriteWholeFile(ini, before);
    const pid_t child = fork();
    if (child == 0) {
        SetReplaceStageHook([](ReplaceStage s, const std::string&) {
            if (s == ReplaceStage::PartlyWritten) kill(getpid(), SIGKILL);
            return true;
        });
        WritePrivateProfileStringA("Murkwell", "XSiz", "512", ini.c_str());
        _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadWholeFile(ini), before);
    EXPECT_EQ(Entries(dir.Path()).size(), 2u);  // the file and the dead writer's temporary
    // The next save goes through and takes the stale temporary away.
    ASSERT_TRUE(WritePrivateProfileStringA("Murkwell", "XSiz", "512", ini.c_str()));
    EXPECT_EQ(ReadWholeFile(ini), "[Murkwell]\nXSiz=512\n; mine\n");
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"Murkwell.ini"});
}

TEST(ProfileThread, ConcurrentWritersLoseNothing) {
    ScopedTempDir dir;
    const std::string ini = dir.File("a.ini");
    auto writer = [&ini](const char* section) {
        for (int i = 0; i < 40; ++i) {
            const std::string key = "k" + std::to_string(i);
            const std::string value = std::to_string(i * 3);
            EXPECT_TRUE(WritePrivateProfileStringA(section, key.c_str(), value.c_str(), ini.c_str()));
        }
    };
    std::thread a(writer, "A"), b(writer, "B");
    a.join();
    b.join();
    for (const char* section : {"A", "B"})
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(ReadInt(section, ("k" + std::to_string(i)).c_str(), -1, ini), i * 3) << section << i;
    EXPECT_EQ(Entries(dir.Path()), std::set<std::string>{"a.ini"});
}
