// SPDX-License-Identifier: MIT
#include "pages/edid_page.h"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>

#include "pages/page_host.h"

namespace krx {
namespace {

QPlainTextEdit* reportBox(QWidget* parent, const char* description) {
    auto* box = new QPlainTextEdit(parent);
    box->setReadOnly(true);
    box->setAccessibleDescription(QString::fromLatin1(description));
    return box;
}

// The reports end their lines with CR LF and the status separates its lines with a lone CR;
// the controls break lines at LF.
QString forDisplay(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

QString fromReport(const std::string& text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

CEdidPage::CEdidPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    installEventFilter(&keyFilter_);
    auto* grid = new QGridLayout(this);
    hexDumpBox = reportBox(this, "EDID hex dump");
    grid->addWidget(hexDumpBox, 0, 0, 2, 2);
    auto* sourceLabel = new QLabel(QStringLiteral("EDID read From:"), this);
    sourceSelector = new QComboBox(this);
    sourceSelector->setEditable(true);
    sourceSelector->addItem(QStringLiteral("TV EDID"));
    for (int slot = 1; slot <= 10; ++slot)
        sourceSelector->addItem(QStringLiteral("Saved %1").arg(slot));
    sourceLabel->setBuddy(sourceSelector);
    grid->addWidget(sourceLabel, 0, 2);
    grid->addWidget(sourceSelector, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("General Info:"), this), 2, 0);
    generalBox = reportBox(this, "General Info");
    grid->addWidget(generalBox, 3, 0);
    statusLabel = new QLabel(this);
    statusLabel->setAccessibleDescription(QStringLiteral("EDID status"));
    grid->addWidget(statusLabel, 3, 1, 1, 2);
    grid->addWidget(new QLabel(QStringLiteral("Video Information:"), this), 4, 0);
    grid->addWidget(new QLabel(QStringLiteral("Audio Information:"), this), 4, 1);
    videoBox = reportBox(this, "Video Information");
    audioBox = reportBox(this, "Audio Information");
    grid->addWidget(videoBox, 5, 0);
    grid->addWidget(audioBox, 5, 1, 1, 2);
}

void CEdidPage::onEdidReceived() {
    const EdidReport report = EdidDecoder::decodeReceived(edidImage);
    statusText = fromReport(report.status);
    hexDump = fromReport(report.hexDump);
    generalReport = fromReport(report.general);
    videoReport = fromReport(report.video);
    audioReport = fromReport(report.audio);
    refresh();
}

void CEdidPage::refresh() {
    hexDumpBox->setPlainText(hexDump);
    generalBox->setPlainText(forDisplay(generalReport));
    videoBox->setPlainText(forDisplay(videoReport));
    audioBox->setPlainText(forDisplay(audioReport));
    statusLabel->setText(forDisplay(statusText));
}

}  // namespace krx
