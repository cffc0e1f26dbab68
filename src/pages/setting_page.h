// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

namespace krx {

// A page of the main window's tab control. Its controls come with the page-filling work.
class CSettingPage final : public QWidget {
  public:
    explicit CSettingPage(QWidget* parent = nullptr);
};

}  // namespace krx
