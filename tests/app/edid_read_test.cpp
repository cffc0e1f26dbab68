// SPDX-License-Identifier: MIT
// EDID answers reaching the EDID page: bytes stored into its image, then checked and decoded.
// The request is made here as the page's "Read EDID" makes it: flags, frame, 600 ms watchdog.
#include <QLabel>
#include <QPlainTextEdit>

#include "console_fixture.h"
#include "edid/edid_decoder.h"
#include "pages/edid_page.h"

namespace krx::testing {
namespace {

class EdidReadTest : public ConsoleTest {
  protected:
    void requestEdid(int source) {
        CConsoleDlg& w = window();
        const bool saved = source > 0;
        const std::uint8_t payload = saved ? static_cast<std::uint8_t>(source - 1) : 0x01;
        w.sendCommandWithData(saved ? CMD_READ_SAVED_EDID : CMD_READ_TV_EDID, 1, &payload);
        w.receiver.edidFromSavedSlot = saved;
        w.receiver.edidReadMode = true;
        w.startWatchdog(600);
    }
    // As the controls show a text: every line ends in LF.
    static QString shown(const std::string& text) {
        return qs(text).replace("\r\n", "\n").replace('\r', '\n');
    }
};

// One session reads the display's EDID, then saved slots 1 and 10 (the slots differ in their
// serial number, so each read must replace the image), then gets an image with a broken header.
TEST_F(EdidReadTest, StoresTheImageAndShowsTheDecodedReport) {
    sim::GeneratorLine& line = attachGenerator(1);
    connect(1);
    CConsoleDlg& w = window();
    CEdidPage& page = w.edidPage();
    for (int source : {0, 1, 10}) {
        SCOPED_TRACE(source);
        requestEdid(source);
        services.runFor(600);
        const sim::EdidBytes& expected =
            source == 0 ? line.device(0).attachedEdid()
                        : line.device(0).storedEdid(static_cast<std::size_t>(source - 1));
        EXPECT_TRUE(std::equal(page.edidImage.begin(), page.edidImage.end(), expected.begin()));
        EXPECT_FALSE(w.receiver.edidReadMode);
        EXPECT_FALSE(w.receiver.edidFromSavedSlot);
        EXPECT_EQ(services.timerInterval(w, CConsoleDlg::kWatchdogTimer), std::nullopt);

        const EdidReport report = EdidDecoder::decodeReceived(page.edidImage);
        EXPECT_FALSE(report.status.empty());
        EXPECT_FALSE(report.hexDump.empty());
        EXPECT_EQ(page.statusLabel->text(), shown(report.status));
        EXPECT_EQ(page.hexDumpBox->toPlainText(), shown(report.hexDump));
        EXPECT_EQ(page.generalBox->toPlainText(), shown(report.general));
        EXPECT_EQ(page.videoBox->toPlainText(), shown(report.video));
        EXPECT_EQ(page.audioBox->toPlainText(), shown(report.audio));
    }

    // An image with a broken header: the status says so and the reports are emptied.
    w.receiver.edidReadMode = true;
    Bytes answer = {0xAB, 0x00, 0x00, 0x05, 0x01, 0x00, 0x00, 0x38, 0xB8};
    answer.resize(answer.size() + 256 + 1, 0x00);  // the checksum is not tested
    receive(answer);
    EXPECT_FALSE(w.receiver.edidReadMode);
    EXPECT_EQ(page.statusLabel->text(), shown(EdidDecoder::decodeReceived(EdidImage{}).status));
    EXPECT_FALSE(page.statusLabel->text().isEmpty());
    EXPECT_TRUE(page.hexDumpBox->toPlainText().isEmpty());
    EXPECT_TRUE(page.videoBox->toPlainText().isEmpty());
}

TEST_F(EdidReadTest, UnansweredReadEndsAfter600MsKeepingThePartialImage) {
    sim::LineConfig config;
    config.faults.silentCodes = {CMD_READ_TV_EDID};
    attachGenerator(1, {0x01, 0x02}, config);
    connect(1);
    CConsoleDlg& w = window();
    requestEdid(0);
    // Part of an answer arrives on its own; the read still runs out at 600 ms.
    receive({0xAB, 0x00, 0x00, 0x05, 0x01, 0x01, 0x02, 0x38, 0xB8, 0x00, 0xFF, 0xFF});
    services.runFor(599);
    EXPECT_TRUE(w.receiver.edidReadMode);
    services.runFor(2);
    EXPECT_FALSE(w.receiver.edidReadMode);
    EXPECT_EQ(w.edidPage().edidImage[1], 0xFF);
    EXPECT_TRUE(w.edidPage().statusLabel->text().isEmpty());
}

}  // namespace
}  // namespace krx::testing
