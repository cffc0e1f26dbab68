// SPDX-License-Identifier: MIT
// The "TV EDID" page through its buttons: reads from the in-process generator, saves into and
// opens from a scratch working folder, the open-file dialog answered by the test.
#include <unistd.h>

#include <QDir>
#include <QFileDialog>
#include <QPlainTextEdit>
#include <QTextBlock>
#include <filesystem>
#include <fstream>

#include "console_fixture.h"
#include "edid/edid_decoder.h"
#include "edid/edid_files.h"
#include "support/files.h"

namespace krx::testing {
namespace {

namespace fs = std::filesystem;

// As the controls show a text: every line ends in LF.
QString shown(const std::string& text) {
    return latin1(text).replace("\r\n", "\n").replace('\r', '\n');
}

// Each test works in a fresh scratch folder as the working directory.
class EdidPageTest : public ConsoleTest {
  protected:
    void SetUp() override { fs::current_path(dir_); }
    void TearDown() override {
        fs::current_path(previous_);
        fs::permissions(dir_, fs::perms::owner_all);
    }

    CEdidPage& page() { return window().edidPage(); }

    // Presses "Open EDID" and chooses `path` in the dialog, or cancels it when `path` is empty.
    // The dialog must start in the working folder.
    void openFile(const fs::path& path) {
        services_.modalHook = [path](QDialog& modal) {
            auto& dialog = dynamic_cast<QFileDialog&>(modal);
            EXPECT_EQ(dialog.directory().absolutePath(), QDir::currentPath());
            dialog.selectFile(QString::fromStdString(path.string()));
            return int{path.empty() ? QDialog::Rejected : QDialog::Accepted};
        };
        page().openButton->click();
    }

    const fs::path previous_ = fs::current_path();
    const ScratchDir scratch_;
    const fs::path& dir_ = scratch_.path();
};

// Reads from the attached display and from stored slot 10 (which differ in their serial number)
// each replace the image and show its report. Text typed over the source list asks for "no item
// chosen" (the payloads are the read operation's), which the generator does not answer: a second
// press sends again and restarts the 600 ms, the reports stay empty and the status " ", and the
// read is then forgotten.
TEST_F(EdidPageTest, ReadsShowTheChosenSourceAndAnUnansweredOneIsForgotten) {
    const sim::Generator& device = attachGenerator(1).device(0);
    connect(1);
    CEdidPage& edid = page();
    for (int source : {0, 10}) {
        edid.sourceSelector->setCurrentIndex(source);
        edid.readButton->click();
        services_.runFor(600);
        const EdidImage& expected = source == 0 ? device.attachedEdid() : device.storedEdid(9);
        EXPECT_EQ(edid.edidImage, expected) << source;
        const EdidReport report = EdidDecoder::decodeReceived(expected);
        EXPECT_EQ(edid.statusLabel->text(), shown(report.status));
        // 16 rows of 16 entries, as in the text file.
        EXPECT_EQ(edid.hexDumpBox->toPlainText(), shown(formatEdidText(expected)).chopped(1));
        EXPECT_EQ(edid.generalBox->toPlainText(), shown(report.general));
        EXPECT_EQ(edid.audioBox->toPlainText(), shown(report.audio));
    }
    const QString dump = edid.hexDumpBox->toPlainText();
    edid.sourceSelector->lineEdit()->selectAll();
    edid.sourceSelector->lineEdit()->insert("Saved 4");
    mark(0);
    edid.readButton->click();
    services_.runFor(400);
    edid.readButton->click();
    services_.runFor(599);
    const ResponseReceiver& receiver = window().connection().receiver();
    EXPECT_TRUE(receiver.edidReadMode);
    const Bytes frame = commandFrame(kBroadcast, CMD_READ_SAVED_EDID, {0xFE});
    EXPECT_EQ(sent(), (std::vector<Bytes>{frame, frame}));
    EXPECT_EQ(edid.hexDumpBox->toPlainText(), dump);
    for (QPlainTextEdit* report : {edid.generalBox, edid.videoBox, edid.audioBox})
        EXPECT_TRUE(report->toPlainText().isEmpty());
    services_.runFor(1);
    EXPECT_FALSE(receiver.edidReadMode);
    EXPECT_EQ(edid.statusLabel->text(), " ");

    // Each dump row sits beside its offset label.
    window().tabs()->setCurrentWidget(&edid);
    window().show();
    for (int row = 0; row < 16; ++row) {
        const QLabel* label = edid.rowLabels[static_cast<std::size_t>(row)];
        const QTextCursor rowStart(edid.hexDumpBox->document()->findBlockByNumber(row));
        const QPoint line = edid.hexDumpBox->cursorRect(rowStart).center();
        EXPECT_NEAR(label->mapTo(&edid, label->rect().center()).y(),
                    edid.hexDumpBox->viewport()->mapTo(&edid, line).y(), 2);
    }
}

// Saved as text and binary, the image opens again and shows its report (the other forms a text file
// may take are the file reader's); opening leaves the status as it was. Cancelled, the dialog
// changes nothing. A chosen file's folder becomes the working folder; the image is blanked first,
// and a file that cannot be read (the reasons are pinned with readEdidFile) shows its message and
// leaves the reports as they were: a dump with a bad line is not half read.
TEST_F(EdidPageTest, SavedFilesOpenIntoTheSameImageAndAFailedOpenShowsWhy) {
    CEdidPage& edid = page();
    const EdidImage tv = sim::defaultTvEdid();
    edid.edidImage = tv;
    edid.statusText = "status kept";
    edid.refresh();
    edid.saveButton->click();
    EXPECT_EQ(messageTexts(),
              QStringList{"Save EDID data to .\\RedIvo_EDID00.txt and RedIvo_EDID00.bin"});
    const EdidReport report = EdidDecoder::decodeAll(tv);
    for (const char* file : {"RedIvo_EDID00.txt", "RedIvo_EDID00.bin"}) {
        edid.edidImage = {};
        edid.hexDump = edid.generalReport = "previous report";
        edid.refresh();
        openFile(dir_ / file);
        EXPECT_EQ(edid.edidImage, tv) << file;
        EXPECT_EQ(edid.generalBox->toPlainText(), shown(report.general));
        EXPECT_EQ(edid.statusLabel->text(), "status kept");
    }
    mark(0);
    openFile({});
    EXPECT_EQ(edid.edidImage, tv);
    EXPECT_EQ(fs::current_path(), dir_);
    const fs::path picked = dir_ / "picked";
    fs::create_directory(picked);
    std::ofstream(picked / "bad.txt") << "00FFFFFFFFFFFF00\n2E58304G";
    openFile(picked / "gone.bin");
    openFile(picked / "bad.txt");
    EXPECT_EQ(messageTexts(),
              (QStringList{"File read failed", "line 2: \"2E58304G\" is not hexadecimal"}));
    EXPECT_EQ(fs::current_path(), picked);
    EXPECT_EQ(edid.edidImage, blankEdidImage());
    EXPECT_EQ(edid.generalBox->toPlainText(), shown(report.general));
    EXPECT_EQ(edid.statusLabel->text(), "status kept");
}

// A folder the operator may not write to (for root, whom permissions do not bind, the save runs
// as "nobody"): the message, and nothing left behind.
TEST_F(EdidPageTest, SaveIntoAFolderWithoutWritePermissionLeavesNothing) {
    CEdidPage& edid = page();
    fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                              fs::perms::others_exec);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::seteuid(65534) == 0);
    edid.saveButton->click();
    EXPECT_TRUE(!root || ::seteuid(0) == 0);
    EXPECT_EQ(messageTexts(), QStringList{"Faild to create file"});
    EXPECT_TRUE(fs::is_empty(dir_));
}

}  // namespace
}  // namespace krx::testing
