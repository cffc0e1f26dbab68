// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "link/port_map.h"

namespace krx {

// A lost port comes back when a device node or a link is made again: it is waited for by watching
// folders with inotify, never by looking again on a timer.

// The paths that name COMn, first one first, decided when it opens. Opened through a ports entry,
// the port is that entry in every ports folder (whichever has one when the port returns wins, as
// for an open), followed to whatever it names then: a link to /dev/serial/by-id/... finds the
// adapter on whichever ttyUSB it comes back as. Opened as its standard device, it is that device
// path. Nothing for a network port (a URL file): no file-system event says a server is back.
std::vector<std::filesystem::path> portReturnPaths(int port, const PortsDirectories& portsDirs);

// A change that may bring the port back: entry `name` made, moved in or changed in folder `dir`.
struct WatchPoint {
    std::filesystem::path dir;
    std::string name;
    bool operator==(const WatchPoint&) const = default;
};

struct PortReturnState {
    // The first of the paths that exists leads, through its links, to a character device.
    bool present = false;
    // For every path and every link it leads through: the nearest folder that exists on the way
    // to it and the entry of that folder on the way, so that a folder made on the way (udev makes
    // /dev/serial/by-id for the first adapter) is seen too.
    std::vector<WatchPoint> watch;
};

// Reads the file system (links, not what they name beyond whether it is a device); follows at most
// kMaxLinkHops links from each path.
inline constexpr int kMaxLinkHops = 8;
PortReturnState portReturnState(const std::vector<std::filesystem::path>& paths);

// Whether a change of entry `name` in folder `dir` is one of `watch`. An empty name (the folder
// itself changed or went) always is. Pure.
bool concernsReturn(const std::vector<WatchPoint>& watch, const std::filesystem::path& dir,
                    std::string_view name);

// Watches the folders of portReturnState() with inotify until the port is there. Its descriptor
// becomes readable when one of them changes; takeChanges() then reads what changed and, when a
// change concerns the port, looks where its paths lead now and moves the watches there.
class PortReturnWatcher {
  public:
    // Throws std::system_error when inotify has no descriptor to give.
    explicit PortReturnWatcher(std::vector<std::filesystem::path> paths);
    ~PortReturnWatcher();
    PortReturnWatcher(const PortReturnWatcher&) = delete;
    PortReturnWatcher& operator=(const PortReturnWatcher&) = delete;

    int fd() const { return fd_; }
    // As of the last look (construction, or a change that concerned the port).
    bool present() const { return state_.present; }
    // Whether any folder is watched: none when inotify refused every watch (its limit reached),
    // and then no change would ever be seen.
    bool watching() const { return !watchedDirs_.empty(); }
    // Reads the changes waiting (returns at once when there are none). True when one of them
    // concerned the port and it is there now.
    bool takeChanges();
    // Blocks on the descriptor until a change concerning the port leaves it there (true) or
    // `limit` has passed (false). A port there already is not waited for again: a caller whose
    // open of it failed waits here for the next change.
    bool waitReturn(std::chrono::milliseconds limit);

  private:
    void look();

    const std::vector<std::filesystem::path> paths_;
    int fd_;
    PortReturnState state_;
    std::unordered_map<int, std::filesystem::path> watchedDirs_;  // by watch descriptor
};

// A front end's wait for its lost port, for the thread the front end runs on.
class PortReturnWatch {
  public:
    virtual ~PortReturnWatch() = default;
    // COMn has opened: what the same port is, should it be lost, is decided now (portReturnPaths).
    virtual void portOpened(int port) = 0;
    // Watches for the port last opened to come back: `back` runs after each change that leaves it
    // there, until cancel(). False, with nothing watched, when it cannot be waited for (a network
    // port, or inotify gives no descriptor or no watch).
    virtual bool awaitReturn(std::function<void()> back) = 0;
    virtual void cancel() = 0;
};

}  // namespace krx
