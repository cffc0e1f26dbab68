// SPDX-License-Identifier: MIT
#include "pages/edid_page.h"

#include <QAbstractTextDocumentLayout>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QVBoxLayout>
#include <cmath>

#include "edid/edid_files.h"
#include "framework/latin1.h"
#include "framework/window_services.h"
#include "ops/edid_read_op.h"
#include "pages/page_host.h"
#include "pages/page_ops_line.h"

namespace krx {
namespace {

constexpr int kDumpRows = 16;
constexpr int kDumpEntryChars = 3;  // "XX "
constexpr int kDumpRowChars = kDumpRows * kDumpEntryChars;
constexpr int kStatusLines = 4;
constexpr int kRowLabelChars = 2;
constexpr int kDumpWidthDu = 228;
constexpr int kDumpMarginPx = 2;
constexpr int kCaretSlackPx = 2;
constexpr double kMinDumpPointSize = 6.0;

QPlainTextEdit* reportBox(QWidget* parent, const char* description) {
    auto* box = new QPlainTextEdit(parent);
    box->setReadOnly(true);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setAccessibleDescription(QString::fromLatin1(description));
    return box;
}

QLabel* captionFor(QWidget* parent, const char* caption, QWidget* buddy) {
    auto* label = new QLabel(QString::fromLatin1(caption), parent);
    label->setBuddy(buddy);
    return label;
}

// The reports end their lines with CR LF and the status separates its lines with a lone CR;
// the controls break lines at LF.
QString forDisplay(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

// The dump is one run of "XX " entries; the box shows it 16 entries a row, each row beside its
// offset label and without its trailing blank.
QString dumpForDisplay(const QString& dump) {
    QStringList rows;
    for (qsizetype start = 0; start < dump.size(); start += kDumpRowChars)
        rows << dump.mid(start, kDumpRowChars).trimmed();
    return rows.join(QLatin1Char('\n'));
}

}  // namespace

CEdidPage::CEdidPage(PageHost& host, QWidget* parent) : CLazyPage(parent), host_(host) {
    installEventFilter(&keyFilter_);
}

void CEdidPage::buildWidgets() {
    const int pageMargin = fontMetrics().averageCharWidth();
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(pageMargin, pageMargin, pageMargin, pageMargin);

    // Dump and General Info on the left; the commands and the status in a column on the right.
    auto* upper = new QGridLayout;
    page->addLayout(upper, 2);
    upper->addWidget(buildDump(), 0, 0, Qt::AlignLeft | Qt::AlignTop);

    auto* commands = new QVBoxLayout;
    sourceSelector = new QComboBox(this);
    sourceSelector->setEditable(true);
    // Typed text is never added to the list nor completed to an item: what the operator typed is
    // what a read sends as "no item chosen".
    sourceSelector->setInsertPolicy(QComboBox::NoInsert);
    sourceSelector->setCompleter(nullptr);
    sourceSelector->addItem(QStringLiteral("TV EDID"));
    for (int slot = 1; slot <= 10; ++slot)
        sourceSelector->addItem(QStringLiteral("Saved %1").arg(slot));
    connect(sourceSelector->lineEdit(), &QLineEdit::textEdited, this,
            [this] { sourceEdited_ = true; });
    connect(sourceSelector, &QComboBox::currentIndexChanged, this,
            [this] { sourceEdited_ = false; });
    connect(sourceSelector, &QComboBox::activated, this, [this] { sourceEdited_ = false; });
    commands->addWidget(captionFor(this, "EDID read From:", sourceSelector));
    commands->addWidget(sourceSelector);
    auto button = [this, commands](const char* caption, void (CEdidPage::*handler)()) {
        auto* b = new QPushButton(QString::fromLatin1(caption), this);
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
        commands->addWidget(b);
        return b;
    };
    readButton = button("Read EDID", &CEdidPage::onReadEdid);
    writeButton = button("Write EDID", &CEdidPage::onWriteEdid);
    writeButton->setEnabled(false);
    saveButton = button("Save EDID", &CEdidPage::onSaveEdid);
    openButton = button("Open EDID", &CEdidPage::onOpenEdid);
    commands->addStretch(1);
    upper->addLayout(commands, 0, 1);

    generalBox = reportBox(this, "General Info");
    upper->addWidget(captionFor(this, "General Info:", generalBox), 1, 0);
    upper->addWidget(generalBox, 2, 0);
    statusLabel = new QLabel(this);
    statusLabel->setAccessibleDescription(QStringLiteral("EDID status"));
    statusLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    statusLabel->setWordWrap(true);
    statusLabel->setMinimumHeight(kStatusLines * statusLabel->fontMetrics().lineSpacing());
    upper->addWidget(statusLabel, 1, 1, 2, 1);
    upper->setRowStretch(2, 1);
    upper->setColumnStretch(1, 1);

    // Video and Audio Information side by side, equally wide.
    auto* lower = new QGridLayout;
    page->addLayout(lower, 1);
    videoBox = reportBox(this, "Video Information");
    audioBox = reportBox(this, "Audio Information");
    lower->addWidget(captionFor(this, "Video Information:", videoBox), 0, 0);
    lower->addWidget(captionFor(this, "Audio Information:", audioBox), 0, 1);
    lower->addWidget(videoBox, 1, 0);
    lower->addWidget(audioBox, 1, 1);
    lower->setColumnStretch(0, 1);
    lower->setColumnStretch(1, 1);
    writeShown();
}

// The dump box holds exactly 16 rows of 16 entries in a fixed-width font, so it needs no scroll
// bar; the offset labels sit on the box's text lines. The dump with its labels takes
// kDumpWidthDu dialog units of the page's width: the font is the page's own size, or smaller in
// half-point steps until a row fits, so the commands beside it keep their room with any desktop
// font.
QWidget* CEdidPage::buildDump() {
    auto* area = new QWidget(this);
    hexDumpBox = new QPlainTextEdit(area);
    hexDumpBox->setReadOnly(true);
    hexDumpBox->setLineWrapMode(QPlainTextEdit::NoWrap);
    hexDumpBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hexDumpBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    hexDumpBox->document()->setDocumentMargin(kDumpMarginPx);
    hexDumpBox->setAccessibleDescription(QStringLiteral("EDID hex dump"));
    const int frame = hexDumpBox->frameWidth();

    const double widthPx = kDumpWidthDu * fontMetrics().averageCharWidth() / 4.0;
    QFont mono = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    double pointSize = font().pointSizeF();
    // Row labels, a gap of one character, then the row without its trailing blank.
    const int charsAcross = kRowLabelChars + 1 + kDumpRowChars - 1;
    const double fixedPx = 2 * (frame + kDumpMarginPx) + kCaretSlackPx;
    double advance = 0;
    for (;; pointSize -= 0.5) {
        mono.setPointSizeF(pointSize);
        advance = QFontMetricsF(mono).horizontalAdvance(QLatin1Char('0'));
        if (pointSize <= kMinDumpPointSize || charsAcross * advance + fixedPx <= widthPx)
            break;
    }
    hexDumpBox->setFont(mono);
    // The box's own layout may round the font's line spacing: the labels follow the layout.
    hexDumpBox->setPlainText(QStringLiteral("0\n0"));
    const double lineHeight = hexDumpBox->document()
                                  ->documentLayout()
                                  ->blockBoundingRect(hexDumpBox->document()->firstBlock())
                                  .height();
    hexDumpBox->clear();
    const int labelWidth = static_cast<int>(std::ceil(advance * (kRowLabelChars + 1)));
    const int boxWidth = static_cast<int>(std::ceil(advance * (kDumpRowChars - 1) + fixedPx));
    const int boxHeight =
        static_cast<int>(std::ceil(lineHeight * kDumpRows + 2 * kDumpMarginPx)) + 2 * frame;

    for (int row = 0; row < kDumpRows; ++row) {
        auto* label = new QLabel(QString::asprintf("%x0", row), area);
        label->setFont(mono);
        label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        const double top = frame + kDumpMarginPx + row * lineHeight;
        label->setGeometry(0, static_cast<int>(std::lround(top)), labelWidth,
                           static_cast<int>(std::lround(lineHeight)));
        rowLabels[static_cast<std::size_t>(row)] = label;
    }
    hexDumpBox->setGeometry(labelWidth, 0, boxWidth, boxHeight);
    area->setFixedSize(labelWidth + boxWidth, boxHeight);
    return area;
}

void CEdidPage::onReadEdid() {
    generalReport.clear();
    videoReport.clear();
    audioReport.clear();
    refresh();

    // The answer comes later, through the receiver's EDID mode, to onEdidReceived.
    class ReadLine final : public PageOpsLine<ops::EdidLine> {
      public:
        using PageOpsLine::PageOpsLine;
        bool awaitEdid(bool fromSavedSlot, int watchdogMs) override {
            host_.startEdidRead(fromSavedSlot, watchdogMs);
            return true;
        }
    } line(host_, this);
    ops::readEdid(line, sourceIndex());
    statusText = QStringLiteral(" ");
    refresh();
}

void CEdidPage::onWriteEdid() {
    message(QStringLiteral("Do not support this function."));
    refresh();
}

void CEdidPage::onSaveEdid() {
    const auto saved = saveEdidFiles(std::filesystem::path("."), edidImage);
    message(latin1(saved ? edidSaveMessage(saved.value()) : saved.error()));
}

void CEdidPage::onOpenEdid() {
    QFileDialog dialog(this, QStringLiteral("Open"), QDir::currentPath());
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setNameFilters({QStringLiteral("bin file(*.bin)"), QStringLiteral("text file(*.txt)"),
                           QStringLiteral("all file(*.*)")});
    if (host_.services().runModal(dialog) != QDialog::Accepted)
        return;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty())
        return;
    const QFileInfo file(chosen.front());
    // Later saves land beside the opened file.
    QDir::setCurrent(file.absolutePath());

    refresh();
    edidImage = blankEdidImage();
    const auto read = readEdidFile(
        std::filesystem::path(QFile::encodeName(file.absoluteFilePath()).toStdString()));
    if (!read) {
        message(latin1(read.error()));
        return;
    }
    edidImage = read.value();
    showDecoded(EdidDecoder::decodeAll(edidImage));
    refresh();
}

void CEdidPage::onEdidReceived() {
    const EdidReport report = EdidDecoder::decodeReceived(edidImage);
    statusText = latin1(report.status);
    showDecoded(report);
    refresh();
}

void CEdidPage::showDecoded(const EdidReport& report) {
    hexDump = latin1(report.hexDump);
    generalReport = latin1(report.general);
    videoReport = latin1(report.video);
    audioReport = latin1(report.audio);
}

void CEdidPage::refresh() {
    shown_ = {hexDump, generalReport, videoReport, audioReport, statusText};
    if (built())
        writeShown();
}

void CEdidPage::writeShown() {
    hexDumpBox->setPlainText(dumpForDisplay(shown_.hexDump));
    generalBox->setPlainText(forDisplay(shown_.general));
    videoBox->setPlainText(forDisplay(shown_.video));
    audioBox->setPlainText(forDisplay(shown_.audio));
    statusLabel->setText(forDisplay(shown_.status));
}

int CEdidPage::sourceIndex() const {
    // A list not built yet is at its first item.
    if (!built())
        return 0;
    return sourceEdited_ ? -1 : sourceSelector->currentIndex();
}

void CEdidPage::message(const QString& text) {
    host_.services().showMessage(this, text);
}

}  // namespace krx
