// SPDX-License-Identifier: MIT
#include "pages/setting_page.h"

namespace krx {

CSettingPage::CSettingPage(QWidget* parent) : QWidget(parent) {}

}  // namespace krx
