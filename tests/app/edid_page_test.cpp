// SPDX-License-Identifier: MIT
// The "TV EDID" page through its buttons: reads from the in-process generator, saves into and
// opens from a scratch working folder, the open-file dialog answered by the test.
#include <unistd.h>

#include <QComboBox>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <filesystem>
#include <fstream>

#include "console_fixture.h"
#include "edid/edid_decoder.h"
#include "edid/edid_files.h"
#include "pages/edid_page.h"

namespace krx::testing {
namespace {

namespace fs = std::filesystem;

// As the controls show a text: every line ends in LF.
QString shown(const std::string& text) {
    return qs(text).replace("\r\n", "\n").replace('\r', '\n');
}

// The dump box's text: 16 rows of 16 entries, as in the text file.
QString dumpRows(const EdidImage& image) {
    return shown(formatEdidText(image)).chopped(1);
}

// Each test works in a fresh scratch folder as the working directory.
class EdidPageTest : public ConsoleTest {
  protected:
    void SetUp() override {
        fs::remove_all(dir_);
        fs::create_directories(dir_);
        fs::current_path(dir_);
    }
    void TearDown() override {
        fs::current_path(previous_);
        fs::permissions(dir_, fs::perms::owner_all);
        fs::remove_all(dir_);
    }

    CEdidPage& page() { return window().edidPage(); }

    // Presses "Open EDID" and chooses `path` in the dialog, or cancels it when `path` is empty.
    // The dialog must start in the working folder and offer the three choices.
    void openFile(const fs::path& path) {
        services.modalHook = [path](QDialog& modal) {
            auto& dialog = dynamic_cast<QFileDialog&>(modal);
            EXPECT_EQ(dialog.directory().absolutePath(), QDir::currentPath());
            EXPECT_EQ(dialog.nameFilters(),
                      (QStringList{"bin file(*.bin)", "text file(*.txt)", "all file(*.*)"}));
            dialog.selectFile(QString::fromStdString(path.string()));
            return int{path.empty() ? QDialog::Rejected : QDialog::Accepted};
        };
        page().openButton->click();
    }

    const fs::path previous_ = fs::current_path();
    const fs::path dir_ =
        fs::temp_directory_path() / ("krx_edid_page_" + std::to_string(::getpid()));
};

// The attached display and stored slots 1 and 10 (which differ in their serial number, so each
// read must replace the image) are read, shown, saved, and both saved files open into the same
// 256 bytes.
TEST_F(EdidPageTest, ReadsSavesAndReopensTheGeneratorsEdids) {
    sim::GeneratorLine& line = attachGenerator(1);
    connect(1);
    CEdidPage& edid = page();
    int saved = 0;
    for (int source : {0, 1, 10}) {
        SCOPED_TRACE(source);
        edid.sourceSelector->setCurrentIndex(source);
        edid.readButton->click();
        services.runFor(600);
        const EdidImage& expected =
            source == 0 ? line.device(0).attachedEdid()
                        : line.device(0).storedEdid(static_cast<std::size_t>(source - 1));
        EXPECT_EQ(edid.edidImage, expected);
        const EdidReport report = EdidDecoder::decodeReceived(expected);
        EXPECT_EQ(edid.statusLabel->text(), shown(report.status));
        EXPECT_EQ(edid.hexDumpBox->toPlainText(), dumpRows(expected));
        EXPECT_EQ(edid.generalBox->toPlainText(), shown(report.general));
        EXPECT_EQ(edid.audioBox->toPlainText(), shown(report.audio));

        services.clearMessages();
        edid.saveButton->click();
        const QString name = QString::asprintf("RedIvo_EDID%02d", saved++);
        EXPECT_EQ(messageTexts(),
                  QStringList{"Save EDID data to .\\" + name + ".txt and " + name + ".bin"});
        for (const char* extension : {".txt", ".bin"}) {
            edid.edidImage = {};
            openFile(dir_ / (name + extension).toStdString());
            EXPECT_EQ(edid.edidImage, expected) << extension;
        }
    }
    // Each dump row sits beside its offset label.
    window().tabs()->setCurrentWidget(&edid);
    window().show();
    for (int row = 0; row < 16; ++row) {
        const QLabel* label = edid.rowLabels[static_cast<std::size_t>(row)];
        const QTextCursor rowStart(edid.hexDumpBox->document()->findBlockByNumber(row));
        const QPoint line = edid.hexDumpBox->cursorRect(rowStart).center();
        EXPECT_EQ(label->text(), QString::asprintf("%x0", row));
        EXPECT_NEAR(label->mapTo(&edid, label->rect().center()).y(),
                    edid.hexDumpBox->viewport()->mapTo(&edid, line).y(), 2);
    }
}

// The chosen source is asked for (its payloads are the read operation's); a second press sends
// again and restarts the 600 ms. Unanswered, the read leaves the reports empty and the status " ",
// and is then forgotten.
TEST_F(EdidPageTest, ReadAsksForTheChosenSourceUntilTheWatchdogFires) {
    struct Row {
        const char* name;
        int index;
        const char* typed;  // typed over the list's text afterwards
        bool portOpen;
        CommandCode code;
        std::uint8_t payload;
    };
    const Row rows[] = {
        {"TypedOverTheList", 3, "Saved 4", true, CMD_READ_SAVED_EDID, 0xFE},
        {"PortClosed", 1, nullptr, false, CMD_READ_SAVED_EDID, 0x00},
    };
    sim::LineConfig config;
    config.faults.silentCodes = {CMD_READ_TV_EDID, CMD_READ_SAVED_EDID};
    attachGenerator(1, {0x01, 0x02}, config);
    connect(1);
    CConsoleDlg& w = window();
    CEdidPage& edid = page();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.portOpen && w.connection().portOpen())
            w.connection().togglePort();
        edid.hexDump = "dump kept";
        edid.generalReport = edid.videoReport = edid.audioReport = "report";
        edid.refresh();
        edid.sourceSelector->setCurrentIndex(row.index);
        if (row.typed) {
            edid.sourceSelector->lineEdit()->selectAll();
            edid.sourceSelector->lineEdit()->insert(row.typed);
        }
        services.clearMessages();
        const std::size_t sent = channel.writes().size();
        edid.readButton->click();
        services.runFor(400);
        edid.readButton->click();
        services.runFor(599);
        EXPECT_TRUE(w.connection().receiver().edidReadMode);

        const Bytes frame = commandFrame(w.connection().targetAddress(), row.code, {row.payload});
        const QString refused = "Com port is not on yet.";
        EXPECT_EQ(writtenSince(sent),
                  (row.portOpen ? std::vector<Bytes>{frame, frame} : std::vector<Bytes>{}));
        EXPECT_EQ(messageTexts(), (row.portOpen ? QStringList{} : QStringList{refused, refused}));
        EXPECT_EQ(w.connection().receiver().edidFromSavedSlot, row.code == CMD_READ_SAVED_EDID);
        EXPECT_EQ(edid.hexDumpBox->toPlainText(), "dump kept");
        for (QPlainTextEdit* report : {edid.generalBox, edid.videoBox, edid.audioBox})
            EXPECT_TRUE(report->toPlainText().isEmpty());
        services.runFor(1);
        EXPECT_FALSE(w.connection().receiver().edidReadMode);
        EXPECT_FALSE(w.connection().receiver().edidFromSavedSlot);
        EXPECT_EQ(edid.statusLabel->text(), " ");
    }
}

// A chosen file's folder becomes the working folder. The image is blanked first, a file that
// cannot be read (the reasons are pinned with readEdidFile) shows its message, and the status
// label never changes.
TEST_F(EdidPageTest, OpenReadsTheChosenFileOrShowsWhyNot) {
    const EdidImage tv = sim::defaultTvEdid();
    EdidImage firstBlock = blankEdidImage();
    std::copy_n(tv.begin(), 128, firstBlock.begin());
    const EdidImage untouched{};
    struct Row {
        const char* name;
        const char* file;  // null: the dialog is cancelled; no content: the file is gone
        std::string content;
        const char* message;
        EdidImage image;
    };
    const Row rows[] = {
        {"TextOf128Numbers", "half.txt", formatEdidText(tv).substr(0, 8 * 49), nullptr, firstBlock},
        {"Vanished", "gone.bin", "", "File read failed", blankEdidImage()},
        {"Cancelled", nullptr, "", nullptr, untouched},
    };
    CEdidPage& edid = page();
    const fs::path picked = dir_ / "picked";
    fs::create_directory(picked);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::current_path(dir_);
        if (row.file && !row.content.empty())
            std::ofstream(picked / row.file, std::ios::binary) << row.content;
        edid.edidImage = untouched;
        edid.statusText = "status kept";
        edid.hexDump = edid.generalReport = "previous report";
        edid.refresh();
        services.clearMessages();
        openFile(row.file ? picked / row.file : fs::path());

        EXPECT_EQ(fs::current_path(), row.file ? picked : dir_);
        EXPECT_EQ(edid.edidImage, row.image);
        EXPECT_EQ(edid.statusLabel->text(), "status kept");
        EXPECT_EQ(messageTexts(), row.message ? QStringList{row.message} : QStringList{});
        const bool decoded = row.file && !row.message;
        EXPECT_EQ(edid.generalBox->toPlainText(),
                  decoded ? shown(EdidDecoder::decodeGeneral(row.image)) : "previous report");
        EXPECT_EQ(edid.hexDumpBox->toPlainText(),
                  decoded ? dumpRows(row.image) : "previous report");
    }
}

// A folder the operator may not write to (for root, whom permissions do not bind, the save runs
// as "nobody"): the message, and nothing left behind.
TEST_F(EdidPageTest, SaveIntoAFolderWithoutWritePermissionLeavesNothing) {
    CEdidPage& edid = page();
    services.clearMessages();
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
