// SPDX-License-Identifier: MIT
#include "app/port_return_watch.h"

#include <QSocketNotifier>
#include <system_error>
#include <utility>

namespace krx {

CPortReturnWatch::CPortReturnWatch(PortsDirectories portsDirs) : portsDirs_(std::move(portsDirs)) {}

CPortReturnWatch::~CPortReturnWatch() {
    cancel();
}

void CPortReturnWatch::portOpened(int port) {
    paths_ = portReturnPaths(port, portsDirs_);
}

bool CPortReturnWatch::awaitReturn(std::function<void()> back) {
    cancel();
    if (paths_.empty())
        return false;
    try {
        watcher_ = std::make_unique<PortReturnWatcher>(paths_);
    } catch (const std::system_error&) {
        return false;
    }
    if (!watcher_->watching()) {
        watcher_.reset();
        return false;
    }
    back_ = std::move(back);
    notifier_ = new QSocketNotifier(static_cast<qintptr>(watcher_->fd()), QSocketNotifier::Read);
    QObject::connect(notifier_, &QSocketNotifier::activated, notifier_, [this] {
        if (watcher_->takeChanges()) {
            const std::function<void()> returned = back_;  // it may cancel the wait
            returned();
        }
    });
    return true;
}

// The notifier may be the sender of the signal being handled: it is switched off now and deleted
// once control is back in the event loop, before the descriptor it watched is closed.
void CPortReturnWatch::cancel() {
    if (notifier_) {
        notifier_->setEnabled(false);
        notifier_->deleteLater();
        notifier_ = nullptr;
    }
    watcher_.reset();
}

}  // namespace krx
