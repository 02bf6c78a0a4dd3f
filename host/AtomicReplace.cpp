#include "host/AtomicReplace.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <mutex>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#include <process.h>
#else
#include <signal.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

std::atomic<unsigned long long> g_tempCounter{0};

std::mutex& HookMutex() {
    static std::mutex m;
    return m;
}
ReplaceStageHook& StageHook() {
    static ReplaceStageHook hook;
    return hook;
}

bool PassStage(ReplaceStage stage, const std::string& target) {
    ReplaceStageHook hook;
    {
        std::lock_guard<std::mutex> lock(HookMutex());
        hook = StageHook();
    }
    return !hook || hook(stage, target);
}

std::string Reason(int err) { return std::error_code(err, std::generic_category()).message(); }

// What a failure injected by the test hook looks like.
std::string FullDiskReason() { return Reason(ENOSPC); }

long ProcessId() {
#if defined(_WIN32)
    return static_cast<long>(_getpid());
#else
    return static_cast<long>(getpid());
#endif
}

// Whether the process that made a temporary may still be writing it. Where this cannot be
// asked, every process counts as running and its temporaries stay.
bool ProcessMayBeRunning(long pid) {
#if defined(_WIN32)
    (void)pid;
    return true;
#else
    if (pid <= 0) return true;
    return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

// Data reaches the disk before the new name points at it.
bool FlushToDisk(std::FILE* f) {
#if defined(_WIN32)
    return _commit(_fileno(f)) == 0;
#else
    if (fsync(fileno(f)) == 0) return true;
    return errno == EINVAL || errno == ENOTSUP;  // a file system that cannot sync: nothing to wait for
#endif
}

// The link chain followed to the file it ends at (which need not exist yet).
fs::path FollowLinks(const fs::path& path, std::error_code& ec) {
    fs::path p = path;
    for (int hops = 0; hops < 40; ++hops) {
        std::error_code statError;
        const fs::file_status st = fs::symlink_status(p, statError);
        if (!fs::is_symlink(st)) return p;
        const fs::path next = fs::read_symlink(p, ec);
        if (ec) return {};
        p = next.is_absolute() ? next : p.parent_path() / next;
    }
    ec = std::make_error_code(std::errc::too_many_symbolic_link_levels);
    return {};
}

fs::path FolderOf(const fs::path& path) {
    fs::path dir = path.parent_path();
    return dir.empty() ? fs::path(".") : dir;
}

// ".<name>.murkwell-": the start of every temporary name for this target. Long names are cut so
// that the temporary's name still fits the file system's limit.
std::string TempPrefix(const fs::path& target) {
    std::string name = target.filename().string();
    if (name.size() > 200) name.resize(200);
    return "." + name + ".murkwell-";
}

std::string TempName(const fs::path& target) {
    const std::string name = TempPrefix(target) + std::to_string(ProcessId()) + "-" +
                             std::to_string(g_tempCounter.fetch_add(1)) + ".tmp";
    return (FolderOf(target) / name).string();
}

// The process id in a temporary's name "<prefix><pid>-<n>.tmp", or -1 when the name is not one.
long TempOwner(std::string_view name, std::string_view prefix) {
    constexpr std::string_view kSuffix = ".tmp";
    if (name.size() <= prefix.size() + kSuffix.size() || name.substr(0, prefix.size()) != prefix ||
        name.substr(name.size() - kSuffix.size()) != kSuffix)
        return -1;
    const std::string_view middle = name.substr(prefix.size(), name.size() - prefix.size() - kSuffix.size());
    long pid = -1;
    const auto [afterPid, pidError] = std::from_chars(middle.data(), middle.data() + middle.size(), pid);
    if (pidError != std::errc() || afterPid == middle.data() || afterPid == middle.data() + middle.size() ||
        *afterPid != '-')
        return -1;
    unsigned long long n = 0;
    const char* end = middle.data() + middle.size();
    const auto [afterN, nError] = std::from_chars(afterPid + 1, end, n);
    if (nError != std::errc() || afterN != end || afterN == afterPid + 1) return -1;
    return pid;
}

}  // namespace

FileReplacement::FileReplacement(std::string target) : given_(std::move(target)) {}

FileReplacement::~FileReplacement() { Abandon(); }

bool FileReplacement::Begin(std::string& error) {
    Abandon();
    failure_.clear();
    wroteOnce_ = false;
    auto fail = [&](const std::string& reason) {
        error = "cannot write " + given_ + ": " + reason;
        return false;
    };
    if (given_.empty()) {
        error = "no output file given";
        return false;
    }
    std::error_code ec;
    const fs::path target = FollowLinks(given_, ec);
    if (ec) return fail(ec.message());
    if (fs::is_directory(target, ec)) return fail("it is a directory");
    target_ = target.string();

    int openError = 0;
    for (int attempt = 0; attempt < 16 && !file_; ++attempt) {
        tempPath_ = TempName(target);
        file_ = std::fopen(tempPath_.c_str(), "w+bx");  // x: never open a file that already exists
        openError = file_ ? 0 : errno;
        if (!file_ && openError != EEXIST) break;
    }
    if (!file_) {
        tempPath_.clear();
        return fail(Reason(openError));
    }
    if (!PassStage(ReplaceStage::TempCreated, target_)) {
        Abandon();
        return fail(FullDiskReason());
    }
    return true;
}

bool FileReplacement::Write(const void* data, size_t size) {
    if (!file_ || !failure_.empty()) return false;
    if (size > 0 && std::fwrite(data, 1, size, file_) != size) {
        failure_ = Reason(errno);
        return false;
    }
    if (!wroteOnce_) {
        wroteOnce_ = true;
        if (!PassStage(ReplaceStage::PartlyWritten, target_)) {
            failure_ = FullDiskReason();
            return false;
        }
    }
    return true;
}

void FileReplacement::Fail(const std::string& reason) {
    if (failure_.empty()) failure_ = reason.empty() ? std::string("the write failed") : reason;
}

bool FileReplacement::Commit(std::string& error) {
    auto fail = [&](const std::string& reason) {
        Abandon();
        error = "cannot write " + given_ + ": " + reason;
        return false;
    };
    if (!file_) return fail(failure_.empty() ? std::string("the file was not opened") : failure_);
    if (failure_.empty() && std::fflush(file_) != 0) failure_ = Reason(errno);
    if (failure_.empty() && !FlushToDisk(file_)) failure_ = Reason(errno);
    if (failure_.empty() && std::ferror(file_)) failure_ = "the write failed";
    const int closed = std::fclose(file_);
    const int closeError = errno;
    file_ = nullptr;
    if (failure_.empty() && closed != 0) failure_ = Reason(closeError);
    if (!failure_.empty()) return fail(failure_);
    if (!PassStage(ReplaceStage::ContentWritten, target_)) return fail(FullDiskReason());

    std::error_code ec;
    // The new file keeps the old one's permissions (a settings file the user made private stays so).
    const fs::file_status old = fs::status(target_, ec);
    if (!ec && fs::exists(old)) fs::permissions(tempPath_, old.permissions(), ec);
    ec.clear();
    fs::rename(tempPath_, target_, ec);
    if (ec) return fail(ec.message());
    tempPath_.clear();
    PassStage(ReplaceStage::Renamed, target_);
    RemoveStaleTemporaries(target_);
    return true;
}

void FileReplacement::Abandon() {
    if (file_) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!tempPath_.empty()) {
        std::error_code ec;
        fs::remove(tempPath_, ec);
        tempPath_.clear();
    }
}

bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error) {
    FileReplacement file(path);
    if (!file.Begin(error)) return false;
    // In two pieces, so that a failure in the middle of the content is a point a test can reach.
    const size_t half = bytes.size() / 2;
    file.Write(bytes.substr(0, half)) && file.Write(bytes.substr(half));
    return file.Commit(error);
}

bool CheckOutputPath(const std::string& path, std::string& error) {
    if (path.empty()) {
        error = "no output file given";
        return false;
    }
    std::error_code ec;
    const fs::path target = FollowLinks(path, ec);
    if (ec) {
        error = "cannot write " + path + ": " + ec.message();
        return false;
    }
    if (fs::is_directory(target, ec)) {
        error = "cannot write " + path + ": it is a directory";
        return false;
    }
    const fs::path dir = FolderOf(target);
    if (!fs::is_directory(dir, ec)) {
        error = "cannot write " + path + ": the folder " + dir.string() +
                (fs::exists(dir, ec) ? " is not a folder" : " does not exist");
        return false;
    }
    // The honest test of writability: create (and remove) a file there.
    const std::string probe = TempName(target);
    std::FILE* f = std::fopen(probe.c_str(), "wbx");
    if (!f) {
        error = "cannot write to the folder " + dir.string() + ": " + Reason(errno);
        return false;
    }
    std::fclose(f);
    fs::remove(probe, ec);
    return true;
}

int RemoveStaleTemporaries(const std::string& path) {
    std::error_code ec;
    const fs::path target = FollowLinks(path, ec);
    if (ec) return 0;
    const std::string prefix = TempPrefix(target);
    const long self = ProcessId();
    int removed = 0;
    fs::directory_iterator it(FolderOf(target), ec), end;
    for (; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const long owner = TempOwner(name, prefix);
        if (owner < 0 || owner == self || ProcessMayBeRunning(owner)) continue;
        std::error_code typeError, removeError;
        if (!it->is_regular_file(typeError) || it->is_symlink(typeError)) continue;
        if (fs::remove(it->path(), removeError)) removed++;
    }
    return removed;
}

void SetReplaceStageHook(ReplaceStageHook hook) {
    std::lock_guard<std::mutex> lock(HookMutex());
    StageHook() = std::move(hook);
}
