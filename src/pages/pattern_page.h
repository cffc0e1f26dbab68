// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>

#include "pages/tables/pattern_table.h"

class QButtonGroup;

namespace krx {

class PageHost;

// The third tab: one radio button per test pattern, ids equal to their screen positions.
class CPatternPage final : public QWidget {
  public:
    explicit CPatternPage(PageHost& host, QWidget* parent = nullptr);

    // Checks the radio button of `code` (none for a code outside the table). Sends nothing.
    void showPattern(PatternCode code);
    void refresh();

    // Position of the checked radio button, -1 when none is checked.
    int selection = -1;
    QButtonGroup* patternGroup = nullptr;

  private:
    PageHost& host_;
};

}  // namespace krx
