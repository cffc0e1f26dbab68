// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "link/device_status.h"

class QButtonGroup;
class QLabel;

namespace krx {

class PageHost;

// The fourth tab: the link and audio options as eight radio groups whose ids are the values the
// set commands carry (and the codes of the matching status fields).
class CSettingPage final : public QWidget {
  public:
    explicit CSettingPage(PageHost& host, QWidget* parent = nullptr);

    // End of a status sweep: takes the eight link and audio fields as selections, writes their
    // status-panel texts through the main window, empties resetNote and refreshes the page. The
    // caller refreshes the main window.
    void showStatus(const DeviceStatus& status);

    // Selections and resetNote -> controls, and back.
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

    static constexpr std::size_t kGroupCount = 8;
    // In screen order: output mode, HDCP, colour space, colour depth, audio source, sample rate,
    // audio bits, channels.
    std::array<QButtonGroup*, kGroupCount> groups{};
    QLabel* resetNoteLabel = nullptr;

  private:
    void exchange(bool save);

    PageHost& host_;
};

}  // namespace krx
