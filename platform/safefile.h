// Whole-file replacement that a crash, a full disk or a failed step never leaves torn: the new
// content goes to a temporary file beside the target, is put on the disk, and is renamed over the
// target only when complete; the directory is synced after. A symbolic link is written through
// (its target file is replaced, the link stays a link), and a replaced file keeps its access
// rights. Plain C++: usable by modules that do not link Qt.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace platform {

// The steps of a replacement, in the order they run.
enum class SafeFileStep {
    kInspect,        // reading the target's file information failed (not "missing")
    kCheckTarget,    // the target cannot be written in place (directory, write-protected, no
                     // writable folder for a missing target)
    kCreateTemp,     // creating the temporary file failed; EEXIST: every temporary name is taken
    kWrite,          // handing bytes to the temporary file failed
    kFlush,          // emptying the write buffer into the file failed
    kSync,           // putting the temporary file on the disk failed
    kNameTemp,       // giving the unnamed temporary file its name failed; EEXIST as above
    kClose,          // closing the temporary file failed
    kRename,         // renaming the temporary file over the target failed
    kSyncDirectory,  // syncing the directory failed: the new file is in place all the same
};

// How the temporary file in the target's folder is named: `stem`, a number, `suffix`, the first
// free of the numbers 0 to `attempts` - 1. With an empty `stem` the target's own name takes its
// place and number 0 is left out ("name.tmp", "name.tmp1", ...).
struct SafeFileNaming {
    std::string stem;
    std::string suffix = ".tmp";
    int attempts = 100;
};

// What a replacement came to. `ok` is true when the new content is in place; a failed directory
// sync still counts as done (`step` then says kSyncDirectory with its `error`).
struct SafeFileResult {
    bool ok = true;
    SafeFileStep step = SafeFileStep::kInspect;
    int error = 0;  // the system's error number of the failed step (errno)
};

// One replacement: Open, Write as often as needed, Commit. Destroyed without a successful Commit,
// it removes its temporary file and leaves the target as it was.
class SafeFile {
  public:
    SafeFile() = default;
    ~SafeFile();
    SafeFile(const SafeFile&) = delete;
    SafeFile& operator=(const SafeFile&) = delete;

    // Checks the target (resolving a link) and creates the temporary file. Returns the failure of
    // kInspect, kCheckTarget or kCreateTemp, else ok.
    SafeFileResult Open(const std::string& target, const SafeFileNaming& naming);
    // Buffers and writes `count` bytes. Returns the kWrite failure, else ok; after a failure the
    // replacement is over and Commit reports the same failure.
    SafeFileResult Write(const void* data, std::size_t count);
    // Flushes, syncs, names, closes and renames over the target, then syncs the directory.
    // Returns the first failed step; the target is unchanged unless `ok`.
    SafeFileResult Commit();

  private:
    SafeFileResult Fail(SafeFileStep step, int error);
    void Discard();

    std::FILE* file_ = nullptr;
    std::string target_;     // the resolved target
    std::string directory_;  // its folder
    std::string temp_;       // the temporary file's name, empty while it has none
    SafeFileNaming naming_;
    SafeFileResult failed_{};
};

// Open, Write and Commit of `count` bytes in one call.
SafeFileResult SafeFile_Replace(const std::string& target, const SafeFileNaming& naming, const void* data,
                                std::size_t count);

}  // namespace platform
