// Whole-file replacement through a temporary file beside the target.
#include "platform/safefile.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "platform/seams.h"

#if defined(_WIN32)
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace platform {

const SafeFileHooks* gSafeFileHooks = nullptr;

namespace {

// A test may make a step fail with an error of its choice; in production this is one null test.
int InjectedError(SafeFileStep step) {
    return gSafeFileHooks != nullptr ? gSafeFileHooks->beforeStep(step) : 0;
}

std::string DirectoryOf(const std::string& path) {
    const std::filesystem::path parent = std::filesystem::path(path).parent_path();
    return parent.empty() ? std::string(".") : parent.string();
}

std::string TempName(const std::string& target, const SafeFileNaming& naming, int n) {
    if (naming.stem.empty()) return target + (n == 0 ? naming.suffix : naming.suffix + std::to_string(n));
    return DirectoryOf(target) + "/" + naming.stem + std::to_string(n) + naming.suffix;
}

// A link is written through, as an in-place write would, instead of being replaced.
std::string Resolved(const std::string& target) {
    std::error_code ignored;
    if (!std::filesystem::is_symlink(target, ignored)) return target;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(target, ignored);
    return ignored ? target : resolved.string();
}

#if defined(_WIN32)
struct TargetInfo {
    bool exists = false;
};

int CheckTarget(const std::string& target, TargetInfo& info, SafeFileStep& step) {
    step = SafeFileStep::kCheckTarget;
    std::error_code error;
    const auto status = std::filesystem::status(target, error);
    info.exists = std::filesystem::exists(status);
    if (!info.exists) return 0;
    if (std::filesystem::is_directory(status)) return EISDIR;
    const int fd = _open(target.c_str(), _O_WRONLY | _O_BINARY);
    if (fd < 0) return errno;
    _close(fd);
    return 0;
}

std::FILE* CreateUnnamedTemp(const std::string&, int& error) {
    error = 0;
    return nullptr;
}

int SyncFile(std::FILE* file) {
    return _commit(_fileno(file)) == 0 ? 0 : errno;
}

int NameTemp(std::FILE*, const std::string&, const SafeFileNaming&, std::string&) {
    return 0;
}

int KeepMode(std::FILE*, const std::string& temp, const std::string& target) {
    std::error_code ignored;
    std::filesystem::permissions(temp, std::filesystem::status(target, ignored).permissions(), ignored);
    return 0;
}

int RenameOver(const std::string& temp, const std::string& target) {
    if (MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return 0;
    return GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
}

int SyncDirectory(const std::string&) {
    return 0;  // MOVEFILE_WRITE_THROUGH has made the move itself durable
}
#else
struct TargetInfo {
    bool exists = false;
    mode_t mode = 0;
};

// An existing target must open for writing in place: a directory or a write-protected file must
// not be replaced by a rename either. The probe neither creates nor truncates anything, and does
// not block on a named pipe without a reader. A missing target needs a writable folder.
int CheckTarget(const std::string& target, TargetInfo& info, SafeFileStep& step) {
    struct stat st {};
    if (::stat(target.c_str(), &st) != 0) {
        step = SafeFileStep::kInspect;
        if (errno != ENOENT) return errno;
        step = SafeFileStep::kCheckTarget;
        return ::faccessat(AT_FDCWD, DirectoryOf(target).c_str(), W_OK | X_OK, AT_EACCESS) == 0 ? 0 : errno;
    }
    step = SafeFileStep::kCheckTarget;
    info.exists = true;
    info.mode = st.st_mode & 07777;
    if (S_ISDIR(st.st_mode)) return EISDIR;
    const int fd = ::open(target.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return errno;
    ::close(fd);
    return 0;
}

// Where the system allows, the temporary file has no name while it is written, so a writer killed
// half-way leaves nothing behind. Null with `error` 0 when the system has no such files.
std::FILE* CreateUnnamedTemp([[maybe_unused]] const std::string& directory, int& error) {
    error = 0;
#ifdef O_TMPFILE
    if (::access("/proc/self/fd", X_OK) != 0) return nullptr;
    const int fd = ::open(directory.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) error = errno;
        return nullptr;
    }
    if (std::FILE* file = ::fdopen(fd, "wb")) return file;
    error = errno;
    ::close(fd);
#endif
    return nullptr;
}

int SyncFile(std::FILE* file) {
    return ::fsync(::fileno(file)) == 0 ? 0 : errno;
}

// Gives a complete unnamed temporary file its name, the first free one; a named one keeps its own.
int NameTemp(std::FILE* file, const std::string& target, const SafeFileNaming& naming, std::string& temp) {
    if (!temp.empty()) return 0;
    const std::string self = "/proc/self/fd/" + std::to_string(::fileno(file));
    for (int n = 0; n < naming.attempts; ++n) {
        const std::string name = TempName(target, naming, n);
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) {
            temp = name;
            return 0;
        }
        if (errno != EEXIST) return errno;
    }
    return EEXIST;
}

int KeepMode(std::FILE* file, const std::string&, mode_t mode) {
    (void)::fchmod(::fileno(file), mode);  // best effort, as a copy would
    return 0;
}

int RenameOver(const std::string& temp, const std::string& target) {
    return std::rename(temp.c_str(), target.c_str()) == 0 ? 0 : errno;
}

// Makes the rename itself durable.
int SyncDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return errno;
    const int error = ::fsync(fd) == 0 ? 0 : errno;
    ::close(fd);
    return error;
}
#endif

}  // namespace

SafeFile::~SafeFile() {
    Discard();
}

SafeFileResult SafeFile::Fail(SafeFileStep step, int error) {
    Discard();
    failed_ = {false, step, error != 0 ? error : EIO};
    return failed_;
}

void SafeFile::Discard() {
    if (file_ != nullptr) std::fclose(file_);
    file_ = nullptr;
    if (!temp_.empty()) std::remove(temp_.c_str());
    temp_.clear();
}

SafeFileResult SafeFile::Open(const std::string& target, const SafeFileNaming& naming) {
    Discard();
    failed_ = {};
    naming_ = naming;
    target_ = Resolved(target);
    directory_ = DirectoryOf(target_);

    TargetInfo info;
    for (const SafeFileStep step : {SafeFileStep::kInspect, SafeFileStep::kCheckTarget})
        if (const int injected = InjectedError(step)) return Fail(step, injected);
    SafeFileStep step = SafeFileStep::kInspect;
    if (const int error = CheckTarget(target_, info, step)) return Fail(step, error);

    if (const int injected = InjectedError(SafeFileStep::kCreateTemp))
        return Fail(SafeFileStep::kCreateTemp, injected);
    int error = 0;
    file_ = CreateUnnamedTemp(directory_, error);
    if (error != 0) return Fail(SafeFileStep::kCreateTemp, error);
    // Named at once: taken by exclusive creation, so a file of the operator's that happens to
    // carry such a name is never overwritten.
    for (int n = 0; file_ == nullptr && n < naming_.attempts; ++n) {
        const std::string name = TempName(target_, naming_, n);
        file_ = std::fopen(name.c_str(), "wbx");
        if (file_ != nullptr)
            temp_ = name;
        else if (errno != EEXIST)
            return Fail(SafeFileStep::kCreateTemp, errno);
    }
    if (file_ == nullptr) return Fail(SafeFileStep::kCreateTemp, EEXIST);
#if defined(_WIN32)
    if (info.exists) KeepMode(file_, temp_, target_);
#else
    if (info.exists) KeepMode(file_, temp_, info.mode);
#endif
    return {};
}

SafeFileResult SafeFile::Write(const void* data, std::size_t count) {
    if (!failed_.ok) return failed_;
    if (file_ == nullptr) return Fail(SafeFileStep::kWrite, EBADF);
    if (const int injected = InjectedError(SafeFileStep::kWrite)) return Fail(SafeFileStep::kWrite, injected);
    errno = 0;
    if (std::fwrite(data, 1, count, file_) != count) return Fail(SafeFileStep::kWrite, errno);
    return {};
}

SafeFileResult SafeFile::Commit() {
    if (!failed_.ok) return failed_;
    if (file_ == nullptr) return Fail(SafeFileStep::kCreateTemp, EBADF);
    // Each step is tried only after the one before it succeeded: the new content is on the disk
    // before it gets a name, and the rename comes last.
    const auto run = [&](SafeFileStep step, auto action) {
        if (const int injected = InjectedError(step)) return injected;
        errno = 0;
        return action();
    };
    struct Stage {
        SafeFileStep step;
        int (*action)(SafeFile&);
    };
    static constexpr Stage kStages[] = {
        {SafeFileStep::kFlush, [](SafeFile& s) { return std::fflush(s.file_) == 0 ? 0 : errno; }},
        {SafeFileStep::kSync, [](SafeFile& s) { return SyncFile(s.file_); }},
        {SafeFileStep::kNameTemp,
         [](SafeFile& s) { return NameTemp(s.file_, s.target_, s.naming_, s.temp_); }},
        {SafeFileStep::kClose,
         [](SafeFile& s) {
             std::FILE* file = s.file_;
             s.file_ = nullptr;
             return std::fclose(file) == 0 ? 0 : errno;
         }},
        {SafeFileStep::kRename, [](SafeFile& s) { return RenameOver(s.temp_, s.target_); }},
    };
    for (const Stage& stage : kStages) {
        if (const int error = run(stage.step, [&] { return stage.action(*this); }))
            return Fail(stage.step, error);
    }
    temp_.clear();  // renamed: nothing left to remove
    const int error = run(SafeFileStep::kSyncDirectory, [&] { return SyncDirectory(directory_); });
    if (error != 0) return {true, SafeFileStep::kSyncDirectory, error};
    return {};
}

SafeFileResult SafeFile_Replace(const std::string& target, const SafeFileNaming& naming, const void* data,
                                std::size_t count) {
    SafeFile file;
    if (const SafeFileResult r = file.Open(target, naming); !r.ok) return r;
    if (const SafeFileResult r = file.Write(data, count); !r.ok) return r;
    return file.Commit();
}

}  // namespace platform
