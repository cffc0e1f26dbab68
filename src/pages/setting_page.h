// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "framework/key_filter.h"
#include "link/device_status.h"
#include "link/generator_facts.h"
#include "ops/setting_op.h"
#include "pages/lazy_page.h"

class QButtonGroup;
class QLabel;
class QPushButton;

namespace krx {

class PageHost;

// The fourth tab: the link and audio options as eight radio groups whose ids are the values the
// set commands carry (and the codes of the matching status fields), and the reset to the
// generator's defaults. Each choice is sent at once and shown in the status panel before the
// generator confirms it; an AUTO choice asks the generator what it actually outputs. Window
// thread only; the waits between two frames block it. Its widgets are built at its first show.
class CSettingPage final : public CLazyPage {
  public:
    explicit CSettingPage(PageHost& host, QWidget* parent = nullptr);

    // End of a status sweep: takes the eight link and audio fields as selections, writes their
    // status-panel texts through the main window, empties resetNote and refreshes the page. The
    // caller refreshes the main window.
    void showStatus(const DeviceStatus& status);
    // The selection behind `option`: one of the members below.
    int& selection(SettingOption option);

    // The handlers behind the radio buttons, each called with the position clicked. Output mode
    // and reset take no command guard; every other handler starts with it.
    void onOutputModeClicked(int value);
    void setOutputMode(int value);
    void setHdcp(int value);
    // Position 4 (YUV4:2:0) only tells that it is not available.
    void onColorSpaceClicked(int value);
    void setColorSpace(int value);
    void setColorDepth(int value);
    void setAudioSource(int value);
    void setSampleRate(int value);
    void setAudioBits(int value);
    void setChannels(int value);
    void onResetDefaults();

    // Selections and resetNote -> controls (kept as the screen's copy until the widgets exist), and
    // back.
    void refresh();
    void read();

    // Positions of the checked radio buttons, -1 when none is checked.
    int outputMode = -1;
    int hdcp = -1;
    int colorSpace = -1;
    int colorDepth = -1;
    int audioSource = -1;
    int sampleRate = -1;
    int audioBits = -1;
    int channels = -1;
    QString resetNote;

    // In screen order, indexed by SettingOption; null until the page is built.
    std::array<QButtonGroup*, kSettingOptionCount> groups{};
    QPushButton* resetButton = nullptr;
    QLabel* resetNoteLabel = nullptr;

  protected:
    void buildWidgets() override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    // What the last refresh put on screen.
    struct Shown {
        std::array<int, kSettingOptionCount> selections;
        QString resetNote;
    };

    void writeShown();
    void message(std::string_view text);
    // The shared command guard of the handlers that take it. A choice it drops is not sent and
    // the page shows its selections again.
    bool takeGuard();
    // Sends `value` of `option` through the setting operation: its refusal (a message box) or
    // the set command and, for AUTO, the wait and CMD_GET_LINK_STATUS.
    ops::SetOutcome apply(SettingOption option, int value);

    PageHost& host_;
    EnterEscapeFilter keyFilter_;
    Shown shown_;
};

}  // namespace krx
