// SPDX-License-Identifier: MIT
#include "pages/edid_page.h"

namespace krx {

CEdidPage::CEdidPage(QWidget* parent) : QWidget(parent) {
    // Enter and Escape are filtered as in the main window.
    installEventFilter(&keyFilter_);
}

}  // namespace krx
