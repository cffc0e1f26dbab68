// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

#include "link/serial_channel.h"

class QDialog;
class QWidget;

namespace krx {

// Receives the expiries of the window timers it started. Called on the window thread.
class TimerTarget {
  public:
    virtual ~TimerTarget() = default;
    virtual void onTimer(int id) = 0;
};

// What a window expects of its framework: window timers, sleeps of the window thread, modal
// messages and modal dialogs. Also the executor that moves serial notifications onto the window
// thread. Everything but post() is window-thread only.
class WindowServices : public WindowThreadExecutor {
  public:
    static constexpr const char* kMessageCaption = "KRX-VTP-KIT SG";

    // Starts timer `id` of `target`, or restarts it with the new interval when it runs already.
    // It repeats every intervalMs until killed.
    virtual void setTimer(TimerTarget& target, int id, int intervalMs) = 0;
    virtual void killTimer(TimerTarget& target, int id) = 0;
    // Kills every timer of `target`; a window calls it before it goes away.
    virtual void killAllTimers(TimerTarget& target) = 0;

    // Blocks the window thread. Bytes and timers that come due meanwhile are handled afterwards.
    virtual void sleepMs(int ms) = 0;

    // Modal message box with the caption kMessageCaption and one OK button.
    virtual void showMessage(QWidget* owner, const QString& text) = 0;

    // Runs `dialog` modally and returns its result code.
    virtual int runModal(QDialog& dialog) = 0;
};

}  // namespace krx
