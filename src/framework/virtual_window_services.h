// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "framework/window_services.h"
#include "link/virtual_clock.h"

namespace krx {

// The framework on a virtual clock, for tests. Nothing runs by itself: runFor() runs the tasks and
// timer expiries that fall due, in time order (ties in scheduling order). Sleeps advance the
// clock at once; what came due meanwhile runs on the next runFor(). Messages and modal dialogs
// are recorded instead of shown. Single-threaded: post() must come from the test's thread.
class VirtualWindowServices final : public WindowServices, public VirtualClock {
  public:
    struct Message {
        QString text;
        QWidget* owner = nullptr;
        std::int64_t atMs = 0;  // on the virtual clock
    };

    // WindowThreadExecutor
    void post(std::function<void()> task) override;

    // WindowServices
    void setTimer(TimerTarget& target, int id, int intervalMs) override;
    void killTimer(TimerTarget& target, int id) override;
    void killAllTimers(TimerTarget& target) override;
    void sleepMs(int ms) override;
    void showMessage(QWidget* owner, const QString& text) override;
    int runModal(QDialog& dialog) override;

    // Runs everything due within the next `ms` milliseconds; the clock ends at now + ms (or later
    // when a sleep inside a task went beyond it).
    void runFor(std::int64_t ms) { runForUs(ms * 1000); }
    void advanceMs(std::int64_t ms) { runFor(ms); }

    // NOLINTNEXTLINE(bugprone-virtual-near-miss): milliseconds beside the clock's microseconds
    std::int64_t nowMs() const { return nowUs() / 1000; }
    // The interval of a running timer; empty when it does not run.
    std::optional<int> timerInterval(const TimerTarget& target, int id) const;

    const std::vector<Message>& messages() const { return messages_; }
    void clearMessages() { messages_.clear(); }
    const std::vector<QDialog*>& modalDialogs() const { return modalDialogs_; }
    // Called with each dialog that would run modally; returns the result code (default 0).
    std::function<int(QDialog&)> modalHook;

  private:
    struct Timer {
        int intervalMs = 0;
        std::uint64_t generation = 0;
    };

    void armTimer(TimerTarget& target, int id, std::uint64_t generation, int intervalMs);

    std::uint64_t nextGeneration_ = 0;
    std::map<std::pair<const TimerTarget*, int>, Timer> timers_;
    std::vector<Message> messages_;
    std::vector<QDialog*> modalDialogs_;
};

}  // namespace krx
