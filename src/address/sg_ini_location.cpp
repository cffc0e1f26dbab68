// SPDX-License-Identifier: MIT
#include "address/sg_ini_location.h"

namespace krx {

namespace {

constexpr const char* kIniName = "SG.ini";

}  // namespace

SgIniLocation SgIniLocation::in(const std::filesystem::path& directory) {
    return {directory / kIniName, directory / kIniName};
}

SgIniLocation locateSgIni(const std::filesystem::path& executableDir,
                          const SettingsEnvironment& environment, const PathProbe& probe) {
    SgIniLocation beside = SgIniLocation::in(executableDir);
    const PathFacts besideFile = probe(beside.savePath);
    const auto settingsDir = userSettingsDirectory(environment);
    if (besideFile.writable || (!besideFile.exists && probe(executableDir).writable) ||
        !settingsDir)
        return beside;
    SgIniLocation users = SgIniLocation::in(*settingsDir);
    if (besideFile.exists && !probe(users.loadPath).exists)
        return {beside.loadPath, users.savePath};
    return users;
}

}  // namespace krx
