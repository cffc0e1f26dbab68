// SPDX-License-Identifier: MIT
#pragma once

#include <QObject>

namespace krx {

// Installed on a dialog or page: Enter and Return that reach it (after the focused control had
// them as ordinary key presses) are swallowed, so they never press a default button or close the
// window; Escape is discarded wherever it arrives.
class EnterEscapeFilter final : public QObject {
  public:
    using QObject::QObject;
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace krx
