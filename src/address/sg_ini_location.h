// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <functional>

#include "files/atomic_save.h"
#include "files/settings_dirs.h"

namespace krx {

// Where the address book is read from at start-up and where Save writes it.
struct SgIniLocation {
    std::filesystem::path loadPath;  // created with the empty book when missing and == savePath
    std::filesystem::path savePath;

    // SG.ini in `directory`, read and saved there.
    static SgIniLocation in(const std::filesystem::path& directory);
    friend bool operator==(const SgIniLocation&, const SgIniLocation&) = default;
};

using PathProbe = std::function<PathFacts(const std::filesystem::path&)>;

// SG.ini beside the executable when one there can be written, or when there is none and the
// folder takes new files (a portable copy, the build folder); otherwise the user's, in
// userSettingsDirectory(environment), read from there once it exists. A read-only SG.ini beside
// the executable is the starting book until the user's exists: read from beside, saved to the
// user's. Without a user's folder (no home at all) the book stays beside the executable. `probe`
// says what the file system holds. Pure, given the probe.
SgIniLocation locateSgIni(const std::filesystem::path& executableDir,
                          const SettingsEnvironment& environment, const PathProbe& probe);

}  // namespace krx
