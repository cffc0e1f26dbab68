// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace krx {

enum class SaveRefusal {
    None,
    NotARegularFile,  // a folder, a device, a FIFO, or a link to one
    WriteProtected,   // no write bit at all, or none for this user
    SystemError,      // a call failed: errorNumber says why
};

// The outcome of a save. [[nodiscard]], so that a failed save cannot be dropped by accident.
struct [[nodiscard]] SaveResult {
    SaveRefusal refusal = SaveRefusal::None;
    int errorNumber = 0;  // errno of the failing call, for SystemError

    explicit operator bool() const { return refusal == SaveRefusal::None; }
};

// Makes `bytes` the whole content of `target`, so that a reader sees the old content or the new
// one, never a part, and does nothing an in-place write could not do:
// - symbolic links are followed, a dangling one included: the file they end at is written
//   (created when missing) and the links stay;
// - anything but a regular file there is refused and left alone;
// - a file without write permission for this user is refused, and so is a file without any
//   write bit, even for root;
// - the bytes go to a scratch file beside the file, which takes the old file's mode, owner and
//   group, is synced and then renamed over it. When the scratch file cannot be made (a folder
//   only the file may be written in) or cannot take the old owner (another user's file), the
//   file is rewritten in place instead.
// A failed save leaves no scratch file, and the old content unless the in-place write itself
// failed part way.
SaveResult saveFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// Why a save failed, for the operator, in lower case: "not a regular file", "write-protected",
// or the system's text ("permission denied", "no space left on device").
std::string saveFailureReason(const SaveResult& result);

// What the file system says about a path, as far as choosing where a file lives needs it.
struct PathFacts {
    bool exists = false;    // an entry of that name, a dangling symbolic link included
    bool writable = false;  // a folder: new files can be made in it; else a save would write it

    friend bool operator==(const PathFacts&, const PathFacts&) = default;
};

// The file system as this process sees it.
PathFacts probePath(const std::filesystem::path& path);

}  // namespace krx
