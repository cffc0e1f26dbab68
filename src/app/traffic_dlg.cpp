// SPDX-License-Identifier: MIT
#include "app/traffic_dlg.h"

#include <QAbstractTableModel>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <deque>

#include "files/atomic_save.h"

namespace krx {

// The rows shown: copies of the tap's records that pass the filter, at most the ring's capacity,
// so that a paused list stays as it was while the ring moves on.
class TrafficModel final : public QAbstractTableModel {
  public:
    enum Column { Time, Direction, Command, Accepted, Note, Bytes, ColumnCount };

    explicit TrafficModel(const TrafficRing& ring, QObject* parent)
        : QAbstractTableModel(parent), ring_(ring) {}

    int rowCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : static_cast<int>(rows_.size());
    }
    int columnCount(const QModelIndex& parent) const override {
        return parent.isValid() ? 0 : ColumnCount;
    }
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    void setFilter(const QString& text) {
        filter_ = text.trimmed();
        beginResetModel();
        rows_.clear();
        seen_ = ring_.first();
        collect(rows_);
        endResetModel();
    }
    void clear() {
        beginResetModel();
        rows_.clear();
        seen_ = ring_.end();
        endResetModel();
    }
    void catchUp() {
        const auto before = static_cast<int>(rows_.size());
        std::deque<TrafficRecord> added;
        collect(added);
        if (added.empty())
            return;
        beginInsertRows({}, before, before + static_cast<int>(added.size()) - 1);
        for (TrafficRecord& record : added)
            rows_.push_back(std::move(record));
        endInsertRows();
        if (rows_.size() > ring_.capacity()) {
            beginRemoveRows({}, 0, static_cast<int>(rows_.size() - ring_.capacity()) - 1);
            rows_.erase(rows_.begin(), rows_.begin() + static_cast<std::ptrdiff_t>(
                                                           rows_.size() - ring_.capacity()));
            endRemoveRows();
        }
    }
    std::string jsonLines() const {
        std::string text;
        for (const TrafficRecord& record : rows_)
            text += formatTrafficLine(record.line()) + '\n';
        return text;
    }

  private:
    // Copies the records from seen_ on (or the oldest still kept) that pass the filter.
    void collect(std::deque<TrafficRecord>& into) {
        for (std::uint64_t n = std::max(seen_, ring_.first()); n < ring_.end(); ++n) {
            const TrafficRecord& record = ring_.at(n);
            if (passes(record))
                into.push_back(record);
        }
        seen_ = ring_.end();
    }
    bool passes(const TrafficRecord& record) const {
        if (filter_.isEmpty())
            return true;
        return QLatin1StringView(record.command).contains(filter_, Qt::CaseInsensitive) ||
               QLatin1StringView(record.note).contains(filter_, Qt::CaseInsensitive);
    }

    const TrafficRing& ring_;
    std::deque<TrafficRecord> rows_;
    std::uint64_t seen_ = 0;
    QString filter_;
};

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != Qt::ToolTipRole) || !index.isValid() ||
        static_cast<std::size_t>(index.row()) >= rows_.size())
        return {};
    const TrafficRecord& record = rows_[static_cast<std::size_t>(index.row())];
    switch (index.column()) {
        case Time:
            // Seconds since the console started, to the millisecond.
            return QStringLiteral("%1.%2")
                .arg(record.timeUs / 1'000'000)
                .arg(record.timeUs / 1000 % 1000, 3, 10, QLatin1Char('0'));
        case Direction:
            return record.direction == TrafficDirection::Sent ? QStringLiteral("sent")
                                                              : QStringLiteral("received");
        case Bytes:
            return QString::fromStdString(hexPairs(record.bytes));
        case Command:
            return QString::fromLatin1(record.command);
        case Note:
            return QString::fromLatin1(record.note);
        case Accepted:
            if (!record.accepted)
                return {};
            return *record.accepted ? QStringLiteral("yes") : QStringLiteral("no");
        default:
            return {};
    }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const std::array<const char*, ColumnCount> kCaptions = {
        "Time (s)", "Direction", "Command", "Accepted", "Note", "Bytes"};
    if (section < 0 || section >= ColumnCount)
        return {};
    return QString::fromLatin1(kCaptions[static_cast<std::size_t>(section)]);
}

CTrafficDlg::CTrafficDlg(WindowServices& services, TrafficTap& tap, QWidget* parent)
    : QWidget(parent, Qt::Window),
      services_(services),
      tap_(tap),
      model_(new TrafficModel(tap.ring(), this)) {
    setWindowTitle(QStringLiteral("Traffic - KRX-VTP-SG"));
    auto* filterLabel = new QLabel(QStringLiteral("&Command:"), this);
    filter_ = new QLineEdit(this);
    filter_->setPlaceholderText(QStringLiteral("all"));
    filter_->setClearButtonEnabled(true);
    filter_->setAccessibleDescription(
        QStringLiteral("Shows only the frames whose command name or note holds this text"));
    filterLabel->setBuddy(filter_);
    pause_ = new QPushButton(QStringLiteral("&Pause"), this);
    pause_->setCheckable(true);
    save_ = new QPushButton(QStringLiteral("&Save..."), this);
    for (QPushButton* button : {pause_, save_})
        button->setAutoDefault(false);
    table_ = new QTableView(this);
    table_->setModel(model_);
    table_->setAccessibleName(QStringLiteral("Traffic"));
    table_->setAccessibleDescription(
        QStringLiteral("Frames sent to and received from the generator, oldest first"));
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->setWordWrap(false);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setStretchLastSection(true);
    const QFontMetrics metrics = fontMetrics();
    table_->verticalHeader()->setDefaultSectionSize(metrics.height() + 4);
    // Bytes last, taking the room left; a long frame is shown whole in its tool tip.
    const auto fit = [&](int column, const char* widest) {
        table_->setColumnWidth(column, metrics.horizontalAdvance(QLatin1String(widest)) + 16);
    };
    fit(TrafficModel::Time, "00000.000");
    fit(TrafficModel::Direction, "received");
    fit(TrafficModel::Command, "CMD_GET_TIMING_DETAILS");
    fit(TrafficModel::Accepted, "Accepted");
    fit(TrafficModel::Note, "bad checksum");

    auto* controls = new QHBoxLayout;
    controls->addWidget(filterLabel);
    controls->addWidget(filter_, 1);
    controls->addWidget(pause_);
    controls->addWidget(save_);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(controls);
    layout->addWidget(table_, 1);
    // Wide enough for the first 24 bytes of a frame beside the other columns.
    int width = metrics.horizontalAdvance(QStringLiteral("00 ").repeated(24)) + 48;
    for (int column = 0; column < TrafficModel::Bytes; ++column)
        width += table_->columnWidth(column);
    resize(width, metrics.height() * 30);

    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        if (isVisible())
            model_->setFilter(text);
    });
    connect(pause_, &QPushButton::toggled, this, [this](bool paused) { onPause(paused); });
    connect(save_, &QPushButton::clicked, this, [this] { onSave(); });
}

CTrafficDlg::~CTrafficDlg() {
    tap_.setChangedNotice(nullptr);
}

void CTrafficDlg::catchUp() {
    catchUpQueued_ = false;
    if (!isVisible() || pause_->isChecked())
        return;
    // The list follows the newest frame unless the operator has scrolled up.
    const QScrollBar* bar = table_->verticalScrollBar();
    const bool following = bar->value() == bar->maximum();
    model_->catchUp();
    if (following)
        table_->scrollToBottom();
}

void CTrafficDlg::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    if (!placed_ && parentWidget() != nullptr) {
        // Beside the main window, on its right, as far as the screen leaves room for it.
        const QRect owner = parentWidget()->frameGeometry();
        QRect place(QPoint(owner.right() + 8, owner.top()), frameGeometry().size());
        if (const QScreen* screen = parentWidget()->screen()) {
            const QRect room = screen->availableGeometry();
            place.setWidth(std::min(place.width(), room.width()));
            place.moveRight(std::min(place.right(), room.right()));
            place.moveBottom(std::min(place.bottom(), room.bottom()));
        }
        move(place.topLeft());
        placed_ = true;
    }
    model_->setFilter(filter_->text());
    tap_.setChangedNotice([this] {
        if (catchUpQueued_)
            return;
        catchUpQueued_ = true;
        QMetaObject::invokeMethod(
            this, [this] { catchUp(); }, Qt::QueuedConnection);
    });
    table_->scrollToBottom();
}

void CTrafficDlg::hideEvent(QHideEvent* event) {
    tap_.setChangedNotice(nullptr);
    model_->clear();
    QWidget::hideEvent(event);
}

void CTrafficDlg::onPause(bool paused) {
    pause_->setText(paused ? QStringLiteral("&Resume") : QStringLiteral("&Pause"));
    if (!paused)
        catchUp();
}

bool CTrafficDlg::saveTo(const std::filesystem::path& path) {
    const SaveResult saved = saveFileAtomically(path, model_->jsonLines());
    if (saved)
        return true;
    services_.showMessage(this, QStringLiteral("Cannot save %1: %2.")
                                    .arg(QString::fromStdString(path.string()),
                                         QString::fromStdString(saveFailureReason(saved))));
    return false;
}

void CTrafficDlg::onSave() {
    const QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Save traffic"), QStringLiteral("traffic.jsonl"),
        QStringLiteral("JSON Lines (*.jsonl);;All files (*)"));
    if (!path.isEmpty())
        (void)saveTo(path.toStdString());
}

}  // namespace krx
