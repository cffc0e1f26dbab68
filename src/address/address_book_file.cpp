// SPDX-License-Identifier: MIT
// SG.ini on disk: reading without blocking on anything but a regular file, and replacing it whole.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "address/address_book.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

// SG.ini is a few hundred bytes; anything beyond this is not read.
constexpr std::size_t kMaxIniBytes = 1 << 20;
constexpr mode_t kNewFileMode = 0644;

class FileDescriptor {
  public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }
    // Closes now, so that a failing close (a delayed write error) is seen.
    bool close() {
        const int fd = fd_;
        fd_ = -1;
        return ::close(fd) == 0;
    }

  private:
    int fd_;
};

bool fileExists(const fs::path& path) {
    std::error_code error;
    return fs::exists(path, error);
}

// A FIFO or device named SG.ini is refused rather than waited on.
std::optional<std::string> readRegularFile(const fs::path& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    std::string bytes(kMaxIniBytes, '\0');
    std::size_t filled = 0;
    while (filled < bytes.size()) {
        const ssize_t got = ::read(file.get(), bytes.data() + filled, bytes.size() - filled);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    bytes.resize(filled);
    return bytes;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t put = ::write(fd, bytes.data(), bytes.size());
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        bytes.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// Replaces `target` by `bytes` through a scratch file in the same directory: readers see the old
// content or the new one, never a part. A symbolic link is followed, so the file it names is
// replaced and the link stays. The scratch file is removed whenever the replacement fails.
bool replaceFile(const fs::path& target, std::string_view bytes) {
    std::error_code error;
    fs::path destination = fs::weakly_canonical(target, error);
    if (error)
        destination = target;
    std::string scratch = destination.string() + ".XXXXXX";
    FileDescriptor file(::mkostemp(scratch.data(), O_CLOEXEC));
    if (file.get() < 0)
        return false;
    struct stat old {};
    const mode_t mode =
        ::stat(destination.c_str(), &old) == 0 ? (old.st_mode & 07777) : kNewFileMode;
    const bool written =
        ::fchmod(file.get(), mode) == 0 && writeAll(file.get(), bytes) && ::fsync(file.get()) == 0;
    if (!file.close() || !written || ::rename(scratch.c_str(), destination.c_str()) != 0) {
        ::unlink(scratch.c_str());
        return false;
    }
    // Make the rename itself durable; the new content is in place whatever this returns.
    FileDescriptor directory(
        ::open(destination.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0)
        ::fsync(directory.get());
    return true;
}

}  // namespace

AddressBook::AddressBook(const std::filesystem::path& directory) : iniPath_(directory / "SG.ini") {}

std::vector<std::string_view> AddressBook::load() {
    std::vector<std::string_view> messages;
    if (!fileExists(iniPath_) && !replaceFile(iniPath_, defaultSgIni())) {
        messages.push_back(kIniCreateFailedMessage);
        if (!fileExists(iniPath_))
            messages.push_back(kIniMissingMessage);
    }
    const std::optional<std::string> bytes = readRegularFile(iniPath_);
    if (!bytes) {
        messages.push_back(kIniReadFailedMessage);
        return messages;
    }
    parseSgIni(*bytes, entries);
    return messages;
}

std::vector<std::string_view> AddressBook::save() const {
    std::vector<std::string_view> messages;
    if (!replaceFile(iniPath_, formatSgIni(entries))) {
        messages.push_back(kIniCreateFailedMessage);
        if (!fileExists(iniPath_))
            messages.push_back(kIniMissingMessage);
    }
    return messages;
}

}  // namespace krx
