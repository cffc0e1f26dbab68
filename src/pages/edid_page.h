// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>

#include "edid/edid_decoder.h"
#include "framework/key_filter.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;

namespace krx {

class PageHost;

// The fifth tab ("TV EDID"): owns the EDID image the receiver fills and shows its dump and
// decoded reports.
class CEdidPage final : public QWidget {
  public:
    explicit CEdidPage(PageHost& host, QWidget* parent = nullptr);

    // The receiver has stored all 256 bytes of an answer into edidImage: checks the header and
    // checksums and, when the header is good, shows the dump and the three reports.
    void onEdidReceived();

    // Texts -> controls.
    void refresh();

    EdidImage edidImage{};
    QString videoReport;
    QString audioReport;
    QString hexDump;
    QString generalReport;
    QString statusText;

    QComboBox* sourceSelector = nullptr;
    QPlainTextEdit* hexDumpBox = nullptr;
    QPlainTextEdit* generalBox = nullptr;
    QPlainTextEdit* videoBox = nullptr;
    QPlainTextEdit* audioBox = nullptr;
    QLabel* statusLabel = nullptr;

  private:
    PageHost& host_;
    EnterEscapeFilter keyFilter_;
};

}  // namespace krx
