// SPDX-License-Identifier: MIT
#include "files/atomic_save.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <optional>
#include <system_error>

#include "files/file_descriptor.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

// As many links as the kernel follows in one path before it gives ELOOP.
constexpr int kMaxLinks = 40;
constexpr int kScratchAttempts = 100;
constexpr mode_t kAnyWriteBit = S_IWUSR | S_IWGRP | S_IWOTH;

SaveResult systemError(int errorNumber) {
    return {SaveRefusal::SystemError, errorNumber};
}

// The path a save of `path` writes: every symbolic link followed, the last one possibly pointing
// at nothing yet. A relative link is taken from the folder the link is in.
std::optional<fs::path> followLinks(fs::path path, int& errorNumber) {
    for (int hop = 0; hop <= kMaxLinks; ++hop) {
        struct stat info {};
        if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        std::error_code error;
        const fs::path next = fs::read_symlink(path, error);
        if (error) {
            errorNumber = error.value();
            return std::nullopt;
        }
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    errorNumber = ELOOP;
    return std::nullopt;
}

// Why `file` (links already followed) may not be written: a regular file with a write bit that
// this user may write. Nothing when it may, or when it does not exist.
std::optional<SaveResult> refusalOfExisting(const fs::path& file, const struct stat& info) {
    if (!S_ISREG(info.st_mode))
        return SaveResult{SaveRefusal::NotARegularFile};
    if ((info.st_mode & kAnyWriteBit) == 0)
        return SaveResult{SaveRefusal::WriteProtected};
    if (::faccessat(AT_FDCWD, file.c_str(), W_OK, AT_EACCESS) != 0)
        return errno == EACCES ? SaveResult{SaveRefusal::WriteProtected} : systemError(errno);
    return std::nullopt;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0) {
            if (put == 0)
                errno = EIO;
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// The file written where it is: for a file this user may write in a folder it may not, and for
// another user's file whose owner a replacement could not keep. Not atomic.
SaveResult writeInPlace(const fs::path& file, std::string_view bytes) {
    FileDescriptor fd(::open(file.c_str(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat info {};
    if (fd.get() < 0 || ::fstat(fd.get(), &info) != 0)
        return systemError(errno);
    if (!S_ISREG(info.st_mode))
        return {SaveRefusal::NotARegularFile};
    if (!writeAll(fd.get(), bytes) ||
        ::ftruncate(fd.get(), static_cast<off_t>(bytes.size())) != 0 || ::fsync(fd.get()) != 0 ||
        !fd.close())
        return systemError(errno);
    return {};
}

// A new file beside `file` that nothing else uses, ".<name>.<pid>.<n>", created exclusively; its
// mode is 0666 less the umask, as any new file's.
int createScratch(const fs::path& file, fs::path& scratch) {
    for (int attempt = 0; attempt < kScratchAttempts; ++attempt) {
        scratch = file.parent_path() / ("." + file.filename().string() + "." +
                                        std::to_string(::getpid()) + "." + std::to_string(attempt));
        const int fd = ::open(scratch.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

// The failures for which the file, once known writable, is written in place instead.
bool inPlaceMayDo(int errorNumber) {
    return errorNumber == EACCES || errorNumber == EPERM;
}

void syncFolder(const fs::path& folder) {
    FileDescriptor fd(
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

}  // namespace

SaveResult saveFileAtomically(const fs::path& target, std::string_view bytes) {
    int errorNumber = 0;
    const std::optional<fs::path> file = followLinks(target, errorNumber);
    if (!file)
        return systemError(errorNumber);
    struct stat old {};
    const bool exists = ::stat(file->c_str(), &old) == 0;
    if (!exists && errno != ENOENT)
        return systemError(errno);
    if (exists) {
        if (const auto refusal = refusalOfExisting(*file, old))
            return *refusal;
    }

    fs::path scratch;
    FileDescriptor fd(createScratch(*file, scratch));
    if (fd.get() < 0) {
        const int error = errno;
        return exists && inPlaceMayDo(error) ? writeInPlace(*file, bytes) : systemError(error);
    }
    // Owner first: a change of owner clears the set-id bits the mode then restores.
    bool ownerKept = true;
    if (exists) {
        struct stat made {};
        const bool same =
            ::fstat(fd.get(), &made) == 0 && made.st_uid == old.st_uid && made.st_gid == old.st_gid;
        ownerKept = same || ::fchown(fd.get(), old.st_uid, old.st_gid) == 0;
    }
    if (!ownerKept) {
        const int error = errno;
        ::unlink(scratch.c_str());
        return inPlaceMayDo(error) ? writeInPlace(*file, bytes) : systemError(error);
    }
    const bool written = (!exists || ::fchmod(fd.get(), old.st_mode & 07777) == 0) &&
                         writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    if (!written || !fd.close() || ::rename(scratch.c_str(), file->c_str()) != 0) {
        const int error = errno;
        ::unlink(scratch.c_str());
        // A folder with the sticky bit lets only the file's owner replace it.
        return written && exists && inPlaceMayDo(error) ? writeInPlace(*file, bytes)
                                                        : systemError(error);
    }
    // Make the rename itself durable; the new content is in place whatever this does.
    syncFolder(file->parent_path());
    return {};
}

std::string saveFailureReason(const SaveResult& result) {
    switch (result.refusal) {
        case SaveRefusal::None:
            return {};
        case SaveRefusal::NotARegularFile:
            return "not a regular file";
        case SaveRefusal::WriteProtected:
            return "write-protected";
        case SaveRefusal::SystemError:
            break;
    }
    std::string text = std::error_code(result.errorNumber, std::generic_category()).message();
    if (!text.empty())
        text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
    return text;
}

PathFacts probePath(const fs::path& path) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0)
        return {};
    int errorNumber = 0;
    const std::optional<fs::path> file = followLinks(path, errorNumber);
    if (!file)
        return {true, false};
    if (::stat(file->c_str(), &info) != 0) {
        // A link to nothing yet: a save creates its target.
        const bool missing = errno == ENOENT;
        const fs::path folder = file->parent_path().empty() ? fs::path(".") : file->parent_path();
        return {true, missing && probePath(folder).writable};
    }
    if (S_ISDIR(info.st_mode))
        return {true, ::faccessat(AT_FDCWD, file->c_str(), W_OK | X_OK, AT_EACCESS) == 0};
    return {true, !refusalOfExisting(*file, info)};
}

}  // namespace krx
