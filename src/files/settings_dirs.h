// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

namespace krx {

// The name of the programs' folder among the user's settings.
inline constexpr std::string_view kSettingsFolderName = "krx-vtp-sg";

// What the user's settings folder is derived from.
struct SettingsEnvironment {
    std::string xdgConfigHome;  // $XDG_CONFIG_HOME; empty when unset
    std::string home;           // $HOME, else the home folder of the password database

    static SettingsEnvironment fromProcess();
};

// $XDG_CONFIG_HOME/krx-vtp-sg, or $HOME/.config/krx-vtp-sg when that is unset, empty or relative
// (a relative one is ignored, as the base directory rules ask); nothing when neither gives an
// absolute path. Pure.
std::optional<std::filesystem::path> userSettingsDirectory(const SettingsEnvironment& environment);

// Creates `folder` and the folders above it that are missing, each with mode 0700, as the base
// directory rules ask of a settings folder; existing folders are left as they are.
std::error_code makeSettingsFolders(const std::filesystem::path& folder);

// The folder of the running program (from /proc/self/exe); the working folder when it cannot be
// read.
std::filesystem::path executableDirectory();

}  // namespace krx
