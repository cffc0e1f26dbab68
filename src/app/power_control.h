// SPDX-License-Identifier: MIT
#pragma once

class QButtonGroup;
class QRadioButton;
class QToolButton;
class QWidget;

namespace krx {

class DialogUnits;
class PageLink;
class WindowServices;

// The "Signal Ouput" group: the radio pair "Power On" / "Power Off" and the power picture. They
// send CMD_SET_POWER without waiting for an answer or taking the command guard, and show the
// state the generator last reported. Window thread only.
class CPowerControl {
  public:
    static constexpr int kPowerOnIcon = 189;
    static constexpr int kPowerOffIcon = 190;

    CPowerControl(WindowServices& services, PageLink& link) : services_(services), link_(link) {}

    void build(QWidget* window, const DialogUnits& du);

    // A reported power state: 0 on (picture and "Power On"), any other value off with that value
    // as the selection. The radios follow at the next refresh().
    void show(int power);
    // Writes the selection to the radio pair.
    void refresh();

    // Checked radio: 0 "Power On", 1 "Power Off", -1 none (and any other reported value).
    int selection() const { return selection_; }
    // Which picture is shown: kPowerOnIcon or kPowerOffIcon.
    int iconId() const { return iconId_; }
    QRadioButton* onRadio() const { return onRadio_; }
    QRadioButton* offRadio() const { return offRadio_; }
    QToolButton* picture() const { return picture_; }

  private:
    void onRadioClicked(int iconId);
    void onPictureClicked();
    // Reads the checked radio back into the selection.
    void read();
    void send();
    void setPicture(int id);

    WindowServices& services_;
    PageLink& link_;
    int selection_ = -1;
    int iconId_ = kPowerOffIcon;
    QRadioButton* onRadio_ = nullptr;
    QRadioButton* offRadio_ = nullptr;
    QButtonGroup* group_ = nullptr;
    QToolButton* picture_ = nullptr;
};

}  // namespace krx
