// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <array>

#include "framework/key_filter.h"
#include "pages/tables/timing_details.h"

class QButtonGroup;
class QLineEdit;

namespace krx {

class PageHost;

// The second tab: the full parameters of the timing chosen on the Timing page. Holds what it
// shows in `details`, which the status panel reads to compose the text of a user timing.
class CTimingDetailsPage final : public QWidget {
  public:
    explicit CTimingDetailsPage(PageHost& host, QWidget* parent = nullptr);

    // Fills the page for `code`: built-in rows, the current-timing record for the automatic
    // timing, a user slot's record for 0x37..0x40; a code outside 0x00..0x40 shows zeros and no
    // radio. 4K codes lock the editable fields and radios. Writes everything to the screen.
    void showTiming(TimingCode code);

    // Members -> controls, and back (a field that does not parse stops the reading with its
    // message; it and the later fields keep their values).
    void refresh();
    void read();

    TimingDetails details;

    // The thirteen fields in reading order, then the three radio pairs.
    static constexpr std::size_t kFieldCount = 13;
    std::array<QLineEdit*, kFieldCount> fields{};
    QButtonGroup* scanTypeGroup = nullptr;
    QButtonGroup* hSyncGroup = nullptr;
    QButtonGroup* vSyncGroup = nullptr;

  private:
    void exchange(bool save);
    void applyLock();

    PageHost& host_;
    EnterEscapeFilter keyFilter_;
};

}  // namespace krx
