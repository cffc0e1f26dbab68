// SPDX-License-Identifier: MIT
#include "pages/timing_details_page.h"

namespace krx {

CTimingDetailsPage::CTimingDetailsPage(QWidget* parent) : QWidget(parent) {
    // Enter and Escape are filtered as in the main window.
    installEventFilter(&keyFilter_);
}

}  // namespace krx
