// SPDX-License-Identifier: MIT
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <vector>

#include "link/port_return.h"

class QSocketNotifier;

namespace krx {

// The console's wait for a lost port: the inotify descriptor of a PortReturnWatcher in the window
// thread's event loop, so that nothing runs while nothing changes. Window thread only.
class CPortReturnWatch final : public PortReturnWatch {
  public:
    explicit CPortReturnWatch(PortsDirectories portsDirs);
    ~CPortReturnWatch() override;
    CPortReturnWatch(const CPortReturnWatch&) = delete;
    CPortReturnWatch& operator=(const CPortReturnWatch&) = delete;

    void portOpened(int port) override;
    bool awaitReturn(std::function<void()> back) override;
    // May be called from `back` itself.
    void cancel() override;

  private:
    const PortsDirectories portsDirs_;
    std::vector<std::filesystem::path> paths_;
    std::unique_ptr<PortReturnWatcher> watcher_;
    QSocketNotifier* notifier_ = nullptr;
    std::function<void()> back_;
};

}  // namespace krx
