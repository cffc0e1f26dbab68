// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include "framework/key_filter.h"

namespace krx {

// A page of the main window's tab control. Its controls come with the page-filling work.
class CEdidPage final : public QWidget {
  public:
    explicit CEdidPage(QWidget* parent = nullptr);

  private:
    EnterEscapeFilter keyFilter_;
};

}  // namespace krx
