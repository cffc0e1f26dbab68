// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <QWidget>
#include <array>

#include "edid/edid_decoder.h"
#include "framework/key_filter.h"
#include "pages/lazy_page.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace krx {

class PageHost;

// The fifth tab ("TV EDID"): reads the EDID of the attached display or of one of the generator's
// ten stored slots into the image it owns, shows that image dumped and decoded, saves it as a text
// and a binary file and opens such files again. Its widgets are built at its first show. Window
// thread only.
class CEdidPage final : public CLazyPage {
  public:
    explicit CEdidPage(PageHost& host, QWidget* parent = nullptr);

    // "Read EDID": empties the three reports, asks the generator for the chosen source, puts the
    // receiver into EDID-read mode under the watchdog and sets the status to " ". The mode and the
    // watchdog start even when the sender refused because the port is closed.
    void onReadEdid();
    // "Write EDID": the generator cannot take an EDID; says so and sends nothing.
    void onWriteEdid();
    // "Save EDID": the image as the next free RedIvo_EDIDnn.txt, then as the next free
    // RedIvo_EDIDnn.bin, in the current working directory; reports either the two names or why not.
    void onSaveEdid();
    // "Open EDID": the operator chooses a .bin or .txt file (its folder becomes the working
    // directory); the image is blanked to 0xFF, read from the file and dumped and decoded. The
    // status is left as it was.
    void onOpenEdid();
    // The receiver has stored all 256 bytes of an answer into edidImage: checks the header and
    // checksums and, when the header is good, shows the dump and the three reports.
    void onEdidReceived();

    // Texts -> controls (kept as the screen's copy until the widgets exist).
    void refresh();

    // The chosen source: 0 "TV EDID", 1..10 "Saved 1".."Saved 10"; -1 once the operator has typed
    // over the list's text, until an item is chosen again. The list starts at item 0.
    int sourceIndex() const;

    EdidImage edidImage{};
    QString videoReport;
    QString audioReport;
    QString hexDump;
    QString generalReport;
    QString statusText;

    // Null until the page is built.
    QComboBox* sourceSelector = nullptr;
    QPushButton* readButton = nullptr;
    QPushButton* writeButton = nullptr;
    QPushButton* saveButton = nullptr;
    QPushButton* openButton = nullptr;
    QPlainTextEdit* hexDumpBox = nullptr;
    QPlainTextEdit* generalBox = nullptr;
    QPlainTextEdit* videoBox = nullptr;
    QPlainTextEdit* audioBox = nullptr;
    QLabel* statusLabel = nullptr;
    // "00" .. "f0", one beside each row of the dump.
    std::array<QLabel*, 16> rowLabels{};

  protected:
    void buildWidgets() override;

  private:
    // What the last refresh put on screen.
    struct Shown {
        QString hexDump;
        QString general;
        QString video;
        QString audio;
        QString status;
    };

    QWidget* buildDump();
    void writeShown();
    // The dump and the three reports of `report`; the status is the caller's.
    void showDecoded(const EdidReport& report);
    void message(const QString& text);

    PageHost& host_;
    EnterEscapeFilter keyFilter_;
    bool sourceEdited_ = false;
    Shown shown_;
};

}  // namespace krx
