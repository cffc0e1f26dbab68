// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

#include "framework/key_filter.h"
#include "link/device_status.h"
#include "pages/tables/timing_tables.h"

class QButtonGroup;
class QRadioButton;

namespace krx {

class PageHost;

// The first tab: one radio button per timing, all in one exclusive group whose ids are the
// timing codes. Holds the selection the receiver and the other pages read and set.
class CTimingPage final : public QWidget {
  public:
    explicit CTimingPage(PageHost& host, QWidget* parent = nullptr);

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
    PageHost& host_;
    EnterEscapeFilter keyFilter_;
};

}  // namespace krx
