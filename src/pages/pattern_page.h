// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <array>

#include "framework/key_filter.h"
#include "model/pattern_table.h"
#include "pages/lazy_page.h"

class QButtonGroup;
class QToolButton;

namespace krx {

class PageHost;

// The third tab: one radio button per test pattern with a picture of the pattern above it, eight
// rows of five in position order. The radio group's ids are the positions; codes are reached
// through the pattern table only. Its widgets are built at its first show. Window thread only.
class CPatternPage final : public CLazyPage {
  public:
    explicit CPatternPage(PageHost& host, QWidget* parent = nullptr);

    // Behind the radio button and the picture of one pattern: selects its position and sends its
    // code. A click the command guard drops leaves the selection, and the radios, as they were.
    void onPatternClicked(int position, PatternCode code);
    // Sends the code with CMD_SET_PATTERN unless the shared command guard drops it (false), then
    // shows the selection.
    bool sendPattern(PatternCode code);
    // Checks the radio button of `code` (none for a code outside the table). Sends nothing.
    void showPattern(PatternCode code);
    // Selection -> radio buttons (kept as the screen's copy until the widgets exist).
    void refresh();

    // Position of the checked radio button, -1 when none is checked.
    int selection = -1;
    QButtonGroup* patternGroup = nullptr;
    // The pictures, indexed by position; null, as the group, until the page is built.
    std::array<QToolButton*, kPatternCount> pictures{};

  protected:
    void buildWidgets() override;
    // The pictures cost nothing until the page is first shown.
    void showEvent(QShowEvent* event) override;
    // Eight rows of five do not fit every desktop font at the window's size: see
    // fitCaptionsToWidth.
    void resizeEvent(QResizeEvent* event) override;

  private:
    PageHost& host_;
    EnterEscapeFilter keyFilter_;
    bool picturesPainted_ = false;
    int shownSelection_ = -1;
};

}  // namespace krx
