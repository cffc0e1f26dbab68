// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <array>

#include "framework/key_filter.h"
#include "model/timing_details.h"
#include "pages/lazy_page.h"

class QButtonGroup;
class QComboBox;
class QLineEdit;
class QPushButton;

namespace krx {

class PageHost;
class CPictureView;
class CTimingDiagramView;

// The second tab: the full parameters of the timing chosen on the Timing page, the editor of the
// generator's ten user-defined timings and the "Update Status" sweep. Holds what it shows in
// `details`, which the status panel reads to compose the text of a user timing. Its widgets are
// built at its first show.
class CTimingDetailsPage final : public CLazyPage {
  public:
    explicit CTimingDetailsPage(PageHost& host, QWidget* parent = nullptr);

    // Fills the page for `code`: built-in rows, the current-timing record for the automatic
    // timing, a user slot's record for 0x37..0x40; a code outside 0x00..0x40 shows zeros and no
    // radio. 4K codes lock the editable fields, the radios and the save button. Writes
    // everything to the screen.
    void showTiming(TimingCode code);

    // "Save to Userdefine Timing": stores the fields as the chosen slot's record in the generator
    // and selects that slot. Saving the slot saved last moves the generator to 1024x768(60)
    // first, so that the slot is not rewritten while it is being output. A save refused for no
    // slot chosen or a clock above 300 MHz shows its message and sends nothing.
    void onSaveUserTiming();
    // "Update Status": a status sweep when the port is open, else "Com port is not on yet.".
    void onUpdateStatus();

    // Members -> controls (kept as the screen's copy until the widgets exist), and back (a field
    // that does not parse stops the reading with its message; it and the later fields keep their
    // values).
    void refresh();
    void read();

    TimingDetails details;
    // Slot number of the previous save press (also of a refused one); -1 before the first.
    int lastSavedSlot = -1;

    // The thirteen fields in reading order, then the three radio pairs; null until the page is
    // built.
    static constexpr std::size_t kFieldCount = kTimingDetailFieldCount;
    std::array<QLineEdit*, kFieldCount> fields{};
    QButtonGroup* scanTypeGroup = nullptr;
    QButtonGroup* hSyncGroup = nullptr;
    QButtonGroup* vSyncGroup = nullptr;
    QPushButton* saveButton = nullptr;
    QComboBox* slotList = nullptr;
    QPushButton* updateButton = nullptr;
    // Drawn with what the fields and radios hold, redrawn as they change.
    CTimingDiagramView* verticalDiagram = nullptr;
    CTimingDiagramView* horizontalDiagram = nullptr;

  protected:
    void buildWidgets() override;

  private:
    void buildLayout();
    void exchange(TimingDetails& values, bool save);
    // Locks the fields, radios and save button as `details` asks.
    void applyLock();
    void writeLock();
    // The diagrams take what the controls hold; a field that does not parse keeps the value
    // last written to it.
    void updateDiagrams();

    PageHost& host_;
    EnterEscapeFilter keyFilter_;
    // What the last refresh and the last lock put on screen.
    TimingDetails shown_;
    bool shownLocked_ = false;
};

}  // namespace krx
