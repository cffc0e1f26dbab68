// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>
#include <map>
#include <memory>
#include <utility>

#include "framework/window_services.h"

class QTimer;

namespace krx {

// The real framework: one QTimer per (window, id), QThread::msleep for sleeps, QMessageBox and
// QDialog::exec. Constructed on the window thread; post() queues onto it from any thread.
class QtWindowServices final : public WindowServices {
  public:
    QtWindowServices();
    ~QtWindowServices() override;

    void post(std::function<void()> task) override;
    void setTimer(TimerTarget& target, int id, int intervalMs) override;
    void killTimer(TimerTarget& target, int id) override;
    void killAllTimers(TimerTarget& target) override;
    void sleepMs(int ms) override;
    void showMessage(QWidget* owner, const QString& text) override;
    int runModal(QDialog& dialog) override;

  private:
    QObject context_;
    std::map<std::pair<TimerTarget*, int>, std::unique_ptr<QTimer>> timers_;
};

}  // namespace krx
