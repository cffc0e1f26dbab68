// SPDX-License-Identifier: MIT
#include "pages/pattern_page.h"

namespace krx {

CPatternPage::CPatternPage(QWidget* parent) : QWidget(parent) {}

}  // namespace krx
