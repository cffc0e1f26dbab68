// SPDX-License-Identifier: MIT
// What the main window and its parts build their controls with: dialog units and the few kinds
// of control the window's left column is made of.
#pragma once

#include <QFontMetrics>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QMouseEvent>
#include <QPushButton>
#include <QToolButton>

#include "framework/latin1.h"
#include "icons.h"

namespace krx {

// Dialog units to pixels: a quarter of the average character width across, an eighth of the
// font height down.
class DialogUnits {
  public:
    explicit DialogUnits(const QFontMetrics& metrics)
        : baseX_(metrics.averageCharWidth()), baseY_(metrics.height()) {}
    QRect rect(int x, int y, int w, int h) const { return {px(x), py(y), px(w), py(h)}; }
    int px(int x) const { return (x * baseX_ + 2) / 4; }
    int py(int y) const { return (y * baseY_ + 4) / 8; }

  private:
    int baseX_;
    int baseY_;
};

// A clickable picture reacts to a single click: the second press of a double click is not a
// click of its own, so a double click toggles the power or the port once, not twice.
class PictureButton final : public QToolButton {
  public:
    using QToolButton::QToolButton;

  protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
};

inline QIcon iconFor(int id) {
    return QIcon(iconResource(id));
}

inline QGroupBox* makeGroup(std::string_view title, QWidget* parent, QRect r) {
    auto* box = new QGroupBox(latin1(title), parent);
    box->setGeometry(r);
    return box;
}

// A borderless label one text row (10 units) high.
inline QLabel* makeLabel(const DialogUnits& du, QWidget* parent, const QString& text, int x, int y,
                         int w) {
    auto* l = new QLabel(text, parent);
    l->setGeometry(du.rect(x, y, w, 10));
    return l;
}

// A push button that is never the default: Enter goes to the control with the focus.
inline QPushButton* makeButton(QWidget* parent, std::string_view text, QRect r) {
    auto* b = new QPushButton(latin1(text), parent);
    b->setGeometry(r);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

// The picture itself is set by whoever owns it, so that each icon file is read once.
inline PictureButton* makePictureButton(const DialogUnits& du, QWidget* parent,
                                        std::string_view description, QRect r) {
    auto* b = new PictureButton(parent);
    b->setAutoRaise(true);
    b->setIconSize(QSize(du.px(14), du.px(14)));
    b->setGeometry(r);
    b->setAccessibleDescription(latin1(description));
    return b;
}

}  // namespace krx
