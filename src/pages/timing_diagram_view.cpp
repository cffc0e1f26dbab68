// SPDX-License-Identifier: MIT
#include "pages/timing_diagram_view.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace krx {
namespace {

const QColor kPaper(255, 255, 255);
const QColor kInk(0, 0, 0);
const QColor kMeasureInk(0xa0, 0x30, 0x20);
const QColor kTraceInk(0x10, 0x30, 0x80);
const QColor kGuideInk(0x90, 0x90, 0x90);

constexpr int kMargin = 4;
// A caption's line, then its bracket this far below it with ticks of this half height.
constexpr int kBracketGap = 4;
constexpr int kTick = 4;
constexpr int kArrow = 5;
// Teeth of the per-line traces, in pixels: one every kToothPitch, kPulsePixels wide.
constexpr double kToothPitch = 6.0;
constexpr double kPulsePixels = 2.0;

int captionRowHeight(const QFontMetrics& fm) {
    return fm.height() + kBracketGap + kTick + 1;
}

// The first caption that fits `room`, else the shortest cut with an ellipsis (or nothing).
QString fitted(const std::vector<std::string>& captions, const QFontMetrics& fm, double room) {
    const int width = static_cast<int>(std::floor(room));
    for (const std::string& caption : captions) {
        QString text = QString::fromStdString(caption);
        if (fm.horizontalAdvance(text) <= width)
            return text;
    }
    return fm.elidedText(QString::fromStdString(captions.back()), Qt::ElideRight, width);
}

void drawBracket(QPainter& p, double from, double to, double y) {
    p.setPen(QPen(kMeasureInk, 1.0));
    p.drawLine(QPointF(from, y), QPointF(to, y));
    p.drawLine(QPointF(from, y - kTick), QPointF(from, y + kTick));
    p.drawLine(QPointF(to, y - kTick), QPointF(to, y + kTick));
    if (to - from < 3 * kArrow)
        return;
    p.setPen(Qt::NoPen);
    p.setBrush(kMeasureInk);
    const double half = kArrow * 0.6;
    p.drawPolygon(QPolygonF{{from, y}, {from + kArrow, y - half}, {from + kArrow, y + half}});
    p.drawPolygon(QPolygonF{{to, y}, {to - kArrow, y - half}, {to - kArrow, y + half}});
}

}  // namespace

CTimingDiagramView::CTimingDiagramView(DiagramAxis axis, const QString& accessibleName,
                                       QWidget* parent)
    : QWidget(parent), axis_(axis), diagram_(timingDiagram(axis, shown_)) {
    setAccessibleName(accessibleName);
    setAccessibleDescription(QString::fromStdString(diagram_.description));
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
}

void CTimingDiagramView::showTiming(const TimingDetails& shown) {
    if (shown == shown_)
        return;
    shown_ = shown;
    diagram_ = timingDiagram(axis_, shown_);
    setAccessibleDescription(QString::fromStdString(diagram_.description));
    update();
}

QSize CTimingDiagramView::minimumSizeHint() const {
    const QFontMetrics fm = fontMetrics();
    const int traces = static_cast<int>(diagram_.traces.size());
    const int captions = 2 * captionRowHeight(fm) + 2 * kTick + 1 + 2 * fm.height();
    return {20 * fm.averageCharWidth(), 2 * kMargin + captions + traces * (fm.height() + 2)};
}

void CTimingDiagramView::paintEvent(QPaintEvent* /*event*/) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.fillRect(rect(), kPaper);
    const QFontMetrics fm = fontMetrics();
    const int lineHeight = fm.height();
    const int em = fm.averageCharWidth();

    // Across: the trace names, a lead-in, the period, and a tail that shows the next one start.
    int nameWidth = 0;
    for (const DiagramTrace& trace : diagram_.traces)
        nameWidth = std::max(nameWidth, fm.horizontalAdvance(QString::fromStdString(trace.name)));
    const double traceLeft = kMargin + nameWidth + em;
    const double traceRight = width() - kMargin;
    const double periodLeft = traceLeft + 2 * em;
    const double periodRight = traceRight - 2 * em;
    auto at = [&](double fraction) { return periodLeft + fraction * (periodRight - periodLeft); };

    // Down: the total, active and blank captions with their brackets, the traces, then the
    // offset and width bracket with its two caption lines, one for each so they never meet.
    const int rowHeight = captionRowHeight(fm);
    const double tracesTop = kMargin + 2 * rowHeight;
    const double bottomBracket = height() - kMargin - 2 * lineHeight - kTick - 1;
    const double bandHeight =
        (bottomBracket - kTick - tracesTop) / static_cast<double>(diagram_.traces.size());
    const double swing = std::clamp(bandHeight - 6.0, 4.0, 1.2 * lineHeight);

    // Period start, active end, sync start and end, period end.
    const std::array<double, 5> edges = {0.0, diagram_.activeEnd, diagram_.syncBegin,
                                         diagram_.syncEnd, 1.0};
    // The guides of the sync edges start below the active and blank captions, which they would
    // otherwise cross.
    p.setPen(QPen(kGuideInk, 1.0, Qt::DashLine));
    for (std::size_t i = 0; i < edges.size(); ++i) {
        const bool syncEdge = i == 2 || i == 3;
        const double top = kMargin + lineHeight + kBracketGap + (syncEdge ? rowHeight : 0);
        p.drawLine(QPointF(at(edges[i]), top), QPointF(at(edges[i]), bottomBracket));
    }

    auto caption = [&](const DiagramMeasure& m, double top) {
        const double from = at(m.begin);
        const double to = at(m.end);
        p.setPen(kMeasureInk);
        switch (m.anchor) {
            case CaptionAnchor::Centre: {
                const QString text = fitted(m.captions, fm, to - from);
                p.drawText(QRectF(from, top, to - from, lineHeight), Qt::AlignCenter, text);
                break;
            }
            case CaptionAnchor::EndsAtEnd:
            case CaptionAnchor::StartsAtBegin: {
                // These have a line of their own: moved along it rather than shortened.
                const QString text = fitted(m.captions, fm, width() - 2.0 * kMargin);
                const double textWidth = fm.horizontalAdvance(text);
                const double left = m.anchor == CaptionAnchor::EndsAtEnd
                                        ? std::max(static_cast<double>(kMargin), to - textWidth)
                                        : std::min(from, width() - kMargin - textWidth);
                p.drawText(QRectF(left, top, textWidth + 1, lineHeight),
                           Qt::AlignLeft | Qt::AlignVCenter, text);
                break;
            }
        }
    };
    const auto& measures = diagram_.measures;
    const double firstBracket = kMargin + lineHeight + kBracketGap;
    caption(measures[TimingDiagram::kTotal], kMargin);
    drawBracket(p, at(0.0), at(1.0), firstBracket);
    for (std::size_t m : {TimingDiagram::kActive, TimingDiagram::kBlank}) {
        caption(measures[m], kMargin + rowHeight);
        drawBracket(p, at(measures[m].begin), at(measures[m].end), firstBracket + rowHeight);
    }
    for (std::size_t m : {TimingDiagram::kSyncOffset, TimingDiagram::kSyncWidth}) {
        drawBracket(p, at(measures[m].begin), at(measures[m].end), bottomBracket);
        const double line = m == TimingDiagram::kSyncOffset ? 0.0 : 1.0;
        caption(measures[m], bottomBracket + kTick + 1 + line * lineHeight);
    }

    for (std::size_t i = 0; i < diagram_.traces.size(); ++i) {
        const DiagramTrace& trace = diagram_.traces[i];
        const double middle = tracesTop + (static_cast<double>(i) + 0.5) * bandHeight;
        p.setPen(kInk);
        p.drawText(QRectF(kMargin, middle - lineHeight / 2.0, nameWidth, lineHeight),
                   Qt::AlignLeft | Qt::AlignVCenter, QString::fromStdString(trace.name));
        const double high = middle - swing / 2;
        const double low = middle + swing / 2;
        // A pulse leaves the resting level: up from low when positive, down from high when not.
        const double rest = trace.positive ? low : high;
        const double pulse = trace.positive ? high : low;
        QPainterPath path(QPointF(traceLeft, rest));
        auto step = [&path](double x, double y) {
            path.lineTo(x, path.currentPosition().y());
            path.lineTo(x, y);
        };
        // Whole teeth between two edges: `count` pulses of kPulsePixels, or wider ones for the
        // data-enable comb, each starting at the rising edge.
        auto teeth = [&](double from, double to, double highPart) {
            const int count = std::max(1, static_cast<int>((to - from) / kToothPitch));
            const double pitch = (to - from) / count;
            for (int t = 0; t < count; ++t) {
                step(from + t * pitch, pulse);
                step(from + t * pitch + std::min(highPart, pitch * 2 / 3), rest);
            }
        };
        switch (trace.shape) {
            case DiagramTrace::Shape::Enable:
                step(at(0.0), pulse);
                step(at(diagram_.activeEnd), rest);
                step(at(1.0), pulse);
                break;
            case DiagramTrace::Shape::EnableLines:
                teeth(at(0.0), at(diagram_.activeEnd), kToothPitch - kPulsePixels);
                step(at(1.0), pulse);
                step(at(1.0) + kToothPitch - kPulsePixels, rest);
                break;
            case DiagramTrace::Shape::Pulse:
                step(at(diagram_.syncBegin), pulse);
                step(at(diagram_.syncEnd), rest);
                break;
            case DiagramTrace::Shape::LinePulses:
                teeth(traceLeft, traceRight, kPulsePixels);
                break;
        }
        path.lineTo(traceRight, path.currentPosition().y());
        p.setPen(QPen(kTraceInk, trace.shape == DiagramTrace::Shape::Pulse ? 2.0 : 1.2));
        p.setBrush(Qt::NoBrush);
        p.drawPath(path);
    }
}

}  // namespace krx
