// SPDX-License-Identifier: MIT
#pragma once

#include <QList>

class QAbstractButton;
class QWidget;

namespace krx {

// Gives `buttons` the largest font, from `page`'s own down to a legible floor, with which the
// page's layout fits its width: the window has a fixed size in dialog units, and a wide desktop
// font would otherwise clip captions. Narrower letters are tried before smaller ones. Call it
// whenever the page is resized.
void fitCaptionsToWidth(QWidget& page, const QList<QAbstractButton*>& buttons);

}  // namespace krx
