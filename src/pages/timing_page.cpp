// SPDX-License-Identifier: MIT
#include "pages/timing_page.h"

namespace krx {

CTimingPage::CTimingPage(QWidget* parent) : QWidget(parent) {
    // Enter and Escape are filtered as in the main window.
    installEventFilter(&keyFilter_);
}

}  // namespace krx
