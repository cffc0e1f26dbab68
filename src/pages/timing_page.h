// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

#include "framework/key_filter.h"
#include "link/device_status.h"
#include "model/timing_tables.h"

class QButtonGroup;
class QRadioButton;

namespace krx {

class PageHost;

// The first tab: one radio button per timing, all in one exclusive group whose ids are the
// timing codes, laid out in the frames of the timing table. Holds the selection the receiver and
// the other pages read and set.
class CTimingPage final : public QWidget {
  public:
    explicit CTimingPage(PageHost& host, QWidget* parent = nullptr);

    // The handler behind every radio button (and the Timing Details page's re-selection of a
    // stored slot). Sends CMD_SET_TIMING with `code`, shows the new timing's details (for the
    // automatic timing it asks the generator for them 400 ms later instead), applies the 4K
    // colour rule and sets the status panel's timing. With the port closed every send shows its
    // message and the local steps still happen. When the command guard is up nothing is sent,
    // the radios show the selection again and the result is false.
    bool selectTiming(TimingCode code);

    // The Setting page's colour space and depth selections follow what the generator does by
    // itself for `code`: 24 bit and 4:2:0 where 4K needs them, no 4:2:0 elsewhere. The status
    // panel's colour texts follow; nothing is sent and nothing is refreshed.
    void applyTimingColourRule(TimingCode code);

    // End of a status sweep: relabels the ten user slots from the main window's records, takes
    // the reported timing as the selection and has the Timing Details page show it. Sends
    // nothing and leaves the screen's radio buttons to the caller's refresh.
    void refreshFromStatus(const DeviceStatus& status);
    // Caption of user slot `slot` (1..10); other slots are ignored.
    void setUserTimingLabel(int slot, const QString& text);

    // Selection -> radio buttons (exactly the button at the selection checked, none for a code
    // without a button), and back.
    void refresh();
    void read();

    QRadioButton* timingButton(TimingCode code) const;

    // Code of the checked radio button, -1 when none is checked.
    TimingCode selection = -1;
    QButtonGroup* timingGroup = nullptr;

  private:
    void buildLayout();

    PageHost& host_;
    EnterEscapeFilter keyFilter_;
};

}  // namespace krx
