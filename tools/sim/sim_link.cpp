// SPDX-License-Identifier: MIT
#include "sim_link.h"

#include <system_error>

namespace krx::sim {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kPtyFolder = "/dev/pts/";

// The nearest folder above `path` that exists: the one a refused creation was refused in.
fs::path existingAncestor(const fs::path& path) {
    fs::path folder = path.parent_path();
    std::error_code error;
    while (!folder.empty() && !fs::exists(fs::symlink_status(folder, error)) &&
           folder != folder.parent_path())
        folder = folder.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

std::string cannotCreate(const fs::path& link, const std::error_code& error) {
    std::string text = "cannot create " + link.string() + ": ";
    if (error == std::errc::permission_denied || error == std::errc::operation_not_permitted ||
        error == std::errc::read_only_file_system)
        return text + "permission denied in folder " + existingAncestor(link).string();
    return text + error.message();
}

}  // namespace

fs::path linkPathFor(const fs::path& name, const PortsDirectories& portsDirs, bool firstWritable) {
    if (name.has_parent_path() || portsDirs.empty())
        return name;
    return (firstWritable || portsDirs.size() == 1 ? portsDirs.front() : portsDirs[1]) / name;
}

std::string claimLink(const fs::path& link, const std::string& ptyPath) {
    std::error_code error;
    if (link.has_parent_path()) {
        fs::create_directories(link.parent_path(), error);
        if (error)
            return cannotCreate(link, error);
    }
    const fs::file_status status = fs::symlink_status(link, error);
    if (error && status.type() != fs::file_type::not_found)
        return cannotCreate(link, error);
    if (fs::is_symlink(status)) {
        const fs::path target = fs::read_symlink(link, error);
        const bool toPty = target.string().starts_with(kPtyFolder);
        const bool targetGone = !fs::exists(fs::symlink_status(target, error));
        if (toPty && !targetGone)
            return link.string() + " points at " + target.string() +
                   ", a pseudo-terminal still in use (another simulator running?); not replaced";
        if (!toPty)
            return link.string() + " points at " + target.string() +
                   ", which is not a simulator's pseudo-terminal; not replaced";
        // Left by a simulator that could not remove it.
        fs::remove(link, error);
    } else if (fs::exists(status)) {
        return link.string() + " exists and is not a link";
    }
    fs::create_symlink(ptyPath, link, error);
    if (error)
        return cannotCreate(link, error);
    return {};
}

void releaseLink(const fs::path& link, const std::string& ptyPath) {
    std::error_code error;
    if (fs::is_symlink(fs::symlink_status(link, error)) && fs::read_symlink(link, error) == ptyPath)
        fs::remove(link, error);
}

}  // namespace krx::sim
