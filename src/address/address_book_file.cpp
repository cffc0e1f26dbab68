// SPDX-License-Identifier: MIT
// SG.ini on disk: reading without blocking on anything but a regular file, and the atomic save.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "address/address_book.h"
#include "files/atomic_save.h"
#include "files/file_descriptor.h"
#include "files/settings_dirs.h"

namespace krx {
namespace {

namespace fs = std::filesystem;

// SG.ini is a few hundred bytes; anything beyond this is not read.
constexpr std::size_t kMaxIniBytes = 1 << 20;

// A FIFO or device named SG.ini is refused rather than waited on.
std::optional<std::string> readRegularFile(const fs::path& path) {
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    struct stat info {};
    if (file.get() < 0 || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    // Read in small pieces: a buffer of the largest size allowed would be a megabyte to clear
    // and map at every start for a file of a few hundred bytes.
    std::string bytes;
    char chunk[4096];
    while (bytes.size() < kMaxIniBytes) {
        const std::size_t wanted = std::min(sizeof chunk, kMaxIniBytes - bytes.size());
        const ssize_t got = ::read(file.get(), chunk, wanted);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return std::nullopt;
        if (got == 0)
            break;
        bytes.append(chunk, static_cast<std::size_t>(got));
    }
    return bytes;
}

// Writes `bytes` as `file`, making the folders it needs; the reason on failure, empty on success.
std::string writeIni(const fs::path& file, std::string_view bytes) {
    if (const std::error_code error = makeSettingsFolders(file.parent_path())) {
        return saveFailureReason({SaveRefusal::SystemError, error.value()});
    }
    return saveFailureReason(saveFileAtomically(file, bytes));
}

}  // namespace

std::string iniCreateFailedMessage(const fs::path& file, std::string_view reason) {
    return "Cannot create " + file.string() + ": " + std::string(reason);
}

std::string iniSaveFailedMessage(const fs::path& file, std::string_view reason) {
    return "Cannot save the address book to " + file.string() + ": " + std::string(reason);
}

AddressBook::AddressBook(SgIniLocation location) : location_(std::move(location)) {}

AddressBook::AddressBook(const fs::path& directory) : AddressBook(SgIniLocation::in(directory)) {}

std::vector<std::string> AddressBook::load() {
    std::vector<std::string> messages;
    std::error_code error;
    if (location_.loadPath == location_.savePath && !fs::exists(location_.loadPath, error)) {
        if (const std::string reason = writeIni(location_.savePath, defaultSgIni());
            !reason.empty())
            messages.push_back(iniCreateFailedMessage(location_.savePath, reason));
    }
    const std::optional<std::string> bytes = readRegularFile(location_.loadPath);
    if (!bytes) {
        messages.emplace_back(kIniReadFailedMessage);
        return messages;
    }
    parseSgIni(*bytes, entries);
    return messages;
}

std::vector<std::string> AddressBook::save() const {
    if (const std::string reason = writeIni(location_.savePath, formatSgIni(entries));
        !reason.empty())
        return {iniSaveFailedMessage(location_.savePath, reason)};
    return {};
}

}  // namespace krx
