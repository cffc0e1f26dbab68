// SPDX-License-Identifier: MIT
#include "link/port_return.h"

#include <poll.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <set>
#include <system_error>

#include "link/poll_event.h"

namespace krx {

namespace fs = std::filesystem;

namespace {

// What makes a port come back in a folder: an entry made or moved in (a device node, a link), or
// an entry's attributes changed (udev gives a new node its group after making it). A watched folder
// that goes or moves ends its watch and calls for a new look.
constexpr std::uint32_t kWatchMask =
    IN_CREATE | IN_MOVED_TO | IN_ATTRIB | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

WatchPoint nearestWatchPoint(const fs::path& path) {
    fs::path entry = path;
    std::error_code error;
    while (entry.has_relative_path() && !fs::is_directory(entry.parent_path(), error))
        entry = entry.parent_path();
    return {entry.parent_path(), entry.filename().string()};
}

}  // namespace

std::vector<fs::path> portReturnPaths(int port, const PortsDirectories& portsDirs) {
    const std::optional<fs::path> device = comPortDevice(port, portsDirs);
    if (!device || comPortUrlText(port, portsDirs))
        return {};
    std::error_code error;
    if (device == standardDevicePath(port))
        return {fs::absolute(*device, error)};
    std::vector<fs::path> paths;
    for (const fs::path& portsDir : portsDirs)
        paths.push_back(fs::absolute(portsEntryPath(port, portsDir), error).lexically_normal());
    return paths;
}

PortReturnState portReturnState(const std::vector<fs::path>& paths) {
    PortReturnState state;
    bool decided = false;
    for (const fs::path& start : paths) {
        fs::path at = start.lexically_normal();
        for (int hop = 0;; ++hop) {
            const WatchPoint point = nearestWatchPoint(at);
            if (std::find(state.watch.begin(), state.watch.end(), point) == state.watch.end())
                state.watch.push_back(point);
            std::error_code error;
            const fs::file_status status = fs::symlink_status(at, error);
            if (!fs::exists(status))
                break;
            if (!decided) {
                // The first path there decides, as it would for an open.
                decided = true;
                state.present = fs::is_character_file(fs::status(start, error));
            }
            if (!fs::is_symlink(status) || hop == kMaxLinkHops)
                break;
            const fs::path target = fs::read_symlink(at, error);
            if (error)
                break;
            at = (target.is_absolute() ? target : at.parent_path() / target).lexically_normal();
        }
    }
    return state;
}

bool concernsReturn(const std::vector<WatchPoint>& watch, const fs::path& dir,
                    std::string_view name) {
    return name.empty() || std::any_of(watch.begin(), watch.end(), [&](const WatchPoint& point) {
               return point.dir == dir && point.name == name;
           });
}

PortReturnWatcher::PortReturnWatcher(std::vector<fs::path> paths)
    : paths_(std::move(paths)), fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "inotify_init1");
    look();
}

PortReturnWatcher::~PortReturnWatcher() {
    ::close(fd_);
}

// Watches the folders the paths lead through now. Whatever is made between the look and the watch
// shows in a second look, which is repeated until the two agree (each round follows one more
// step of a path being made).
void PortReturnWatcher::look() {
    state_ = portReturnState(paths_);
    for (int round = 0; round < kMaxLinkHops; ++round) {
        std::set<fs::path> wanted;
        for (const WatchPoint& point : state_.watch)
            wanted.insert(point.dir);
        for (auto watched = watchedDirs_.begin(); watched != watchedDirs_.end();) {
            if (wanted.erase(watched->second) == 0) {
                ::inotify_rm_watch(fd_, watched->first);
                watched = watchedDirs_.erase(watched);
            } else {
                ++watched;
            }
        }
        for (const fs::path& dir : wanted) {
            const int wd = ::inotify_add_watch(fd_, dir.c_str(), kWatchMask);
            if (wd >= 0)
                watchedDirs_[wd] = dir;
        }
        PortReturnState again = portReturnState(paths_);
        const bool settled = again.watch == state_.watch;
        state_ = std::move(again);
        if (settled)
            return;
    }
}

bool PortReturnWatcher::takeChanges() {
    alignas(inotify_event) char buffer[4096];
    bool concerned = false;
    for (ssize_t got = 0; (got = ::read(fd_, buffer, sizeof buffer)) > 0;) {
        for (const char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            at += sizeof(inotify_event) + event->len;
            if ((event->mask & IN_Q_OVERFLOW) != 0) {
                concerned = true;
                continue;
            }
            const auto dir = watchedDirs_.find(event->wd);
            if (dir == watchedDirs_.end())
                continue;  // a watch removed by the last look
            if ((event->mask & IN_IGNORED) != 0) {
                watchedDirs_.erase(dir);
                concerned = true;
                continue;
            }
            const std::string_view name = event->len > 0 ? event->name : std::string_view();
            concerned = concerned || concernsReturn(state_.watch, dir->second, name);
        }
    }
    if (!concerned)
        return false;
    look();
    return state_.present;
}

bool PortReturnWatcher::waitReturn(std::chrono::milliseconds limit) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + limit;
    for (;;) {
        const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0)
            return false;
        pollfd wait{fd_, POLLIN, 0};
        if (pollFor({&wait, 1}, static_cast<int>(left.count())) < 0)
            return false;
        if (takeChanges())
            return true;
    }
}

}  // namespace krx
