// Files are replaced whole or not at all. The new content goes to a temporary file in the
// target's own folder (so the final rename never crosses file systems), is flushed to the disk,
// takes over the old file's permissions and then replaces the target in one rename. Until that
// rename the old file is untouched; a failure at any point removes the temporary and leaves the
// old file as it was; a process killed mid-write leaves at most its temporary behind, which the
// next replacement of the same file removes.
//
// - Temporaries are named ".<file name>.murkwell-<process id>-<n>.tmp": hidden, never taken for
//   output, and created with "x" (exclusive) so that an existing file is never opened.
// - A symbolic link is written through: the file it names is replaced and the link stays.
// - The content is flushed to the disk before the rename, so after a crash the name holds either
//   the old or the new content in full, never a file whose data had not yet reached the disk.
#pragma once
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>

class FileReplacement {
public:
    explicit FileReplacement(std::string target);
    ~FileReplacement();  // a replacement that was not committed is abandoned
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;

    // Creates the temporary file. False with an error naming the target.
    bool Begin(std::string& error);

    // Appends to the temporary file; false once any write has failed (the reason is kept for
    // Commit's error).
    bool Write(const void* data, size_t size);
    bool Write(std::string_view bytes) { return Write(bytes.data(), bytes.size()); }

    // The temporary file itself, for writers that need to seek or read back (it is open for
    // update). Errors on it are found by Commit.
    std::FILE* Stream() const { return file_; }

    // Records a failure found by the writer (an encoder's own error); Commit then fails with it.
    void Fail(const std::string& reason);

    // Flushes, closes and renames the temporary onto the target. False with an error naming the
    // target; the temporary is gone either way.
    bool Commit(std::string& error);

    // Closes and removes the temporary; the target stays as it was.
    void Abandon();

    const std::string& Target() const { return target_; }       // with links followed
    const std::string& TempPath() const { return tempPath_; }

private:
    std::string given_, target_, tempPath_;
    std::FILE* file_ = nullptr;
    std::string failure_;
    bool wroteOnce_ = false;
};

// Replaces `path` with exactly `bytes`.
bool ReplaceFileContents(const std::string& path, std::string_view bytes, std::string& error);

// Checks, before any work, that `path` can be replaced: it is not a folder, its folder exists
// and a file can be created there.
bool CheckOutputPath(const std::string& path, std::string& error);

// Removes the temporaries of `path` left by processes that no longer run; returns how many.
// Replacing a file does this after its own rename.
int RemoveStaleTemporaries(const std::string& path);

// The points of a replacement, in order.
enum class ReplaceStage {
    TempCreated,    // the temporary exists, empty
    PartlyWritten,  // after the first piece of content
    ContentWritten, // the temporary is complete and closed; the rename is next
    Renamed,        // the target holds the new content
};

// Test hook: called at every stage of every replacement in the process, with the target (links
// followed); returning false makes the replacement fail there as a full disk would (at Renamed
// the result is ignored). An empty function restores normal replacements.
using ReplaceStageHook = std::function<bool(ReplaceStage stage, const std::string& target)>;
void SetReplaceStageHook(ReplaceStageHook hook);
