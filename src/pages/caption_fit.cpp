// SPDX-License-Identifier: MIT
#include "pages/caption_fit.h"

#include <QAbstractButton>
#include <QLayout>
#include <QWidget>

namespace krx {
namespace {
// Below this the captions would no longer be legible; the page then clips rather than shrinks.
constexpr qreal kSmallestPoints = 6.0;
constexpr qreal kPointStep = 0.5;
}  // namespace

void fitCaptionsToWidth(QWidget& page, const QList<QAbstractButton*>& buttons) {
    QLayout* layout = page.layout();
    if (layout == nullptr)
        return;
    QFont font = page.font();
    auto fits = [&] {
        for (QAbstractButton* button : buttons)
            button->setFont(font);
        layout->invalidate();
        return layout->sizeHint().width() <= page.width();
    };
    if (fits())
        return;
    font.setStretch(QFont::Condensed);
    while (!fits() && font.pointSizeF() - kPointStep >= kSmallestPoints)
        font.setPointSizeF(font.pointSizeF() - kPointStep);
}

}  // namespace krx
