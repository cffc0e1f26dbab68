// SPDX-License-Identifier: MIT
#pragma once

#include <QRadioButton>

namespace krx {

// The radio button of every page and of the power pair. Its assistive actions ("Toggle", and
// "Press" for a client that asks for it by name) click it: the same pressed, released and
// clicked signals the mouse gives, so the handler behind the button runs once, also for a button
// that is checked already. The toolkit's own radio action only flips the checked state, which
// checks a choice on screen without any handler seeing it.
class CRadioButton final : public QRadioButton {
  public:
    explicit CRadioButton(const QString& text, QWidget* parent = nullptr);
    explicit CRadioButton(QWidget* parent = nullptr) : CRadioButton(QString(), parent) {}
};

}  // namespace krx
