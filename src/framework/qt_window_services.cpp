// SPDX-License-Identifier: MIT
#include "framework/qt_window_services.h"

#include <QDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QThread>
#include <QTimer>

namespace krx {

QtWindowServices::QtWindowServices() = default;
QtWindowServices::~QtWindowServices() = default;

void QtWindowServices::post(std::function<void()> task) {
    QMetaObject::invokeMethod(&context_, std::move(task), Qt::QueuedConnection);
}

void QtWindowServices::setTimer(TimerTarget& target, int id, int intervalMs) {
    auto& slot = timers_[{&target, id}];
    if (!slot) {
        slot = std::make_unique<QTimer>();
        QObject::connect(slot.get(), &QTimer::timeout, &context_,
                         [&target, id] { target.onTimer(id); });
    }
    slot->start(intervalMs);
}

void QtWindowServices::killTimer(TimerTarget& target, int id) {
    auto it = timers_.find({&target, id});
    if (it != timers_.end())
        it->second->stop();
}

void QtWindowServices::killAllTimers(TimerTarget& target) {
    for (auto it = timers_.begin(); it != timers_.end();) {
        if (it->first.first == &target)
            it = timers_.erase(it);
        else
            ++it;
    }
}

void QtWindowServices::sleepMs(int ms) {
    if (ms > 0)
        QThread::msleep(static_cast<unsigned long>(ms));
}

void QtWindowServices::showMessage(QWidget* owner, const QString& text) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromLatin1(kMessageCaption), text,
                    QMessageBox::Ok, owner);
    box.exec();
}

int QtWindowServices::runModal(QDialog& dialog) {
    return dialog.exec();
}

}  // namespace krx
