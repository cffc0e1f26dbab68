// SPDX-License-Identifier: MIT
#include "framework/key_filter.h"

#include <QKeyEvent>

namespace krx {

bool EnterEscapeFilter::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Escape) {
            event->accept();
            return true;
        }
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && event->type() == QEvent::KeyPress) {
            event->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace krx
