// SPDX-License-Identifier: MIT
#include "pattern_pictures.h"

#include <QLinearGradient>
#include <QPainter>
#include <QPolygonF>
#include <initializer_list>

namespace krx {
namespace {

// Drawing space: the logical thumbnail, 45 x 31.
constexpr qreal kWidth = kPatternPictureSize.width();
constexpr qreal kHeight = kPatternPictureSize.height();
// The same in whole units, for loops that step across the picture.
constexpr int kWidthUnits = kPatternPictureSize.width();
constexpr int kHeightUnits = kPatternPictureSize.height();
const QRectF kWhole(0, 0, kWidth, kHeight);

const QColor kWhite(255, 255, 255);
const QColor kYellow(255, 255, 0);
const QColor kCyan(0, 255, 255);
const QColor kGreen(0, 255, 0);
const QColor kMagenta(255, 0, 255);
const QColor kRed(255, 0, 0);
const QColor kBlue(0, 0, 255);
const QColor kBlack(0, 0, 0);
// The frame that lets a white or black screen read as a screen on any page background.
const QColor kFrame(96, 96, 96);

QColor grey(int level) {
    return QColor(level, level, level);
}

// Equal vertical bars across `area`, left to right.
void bars(QPainter& p, std::initializer_list<QColor> colours, QRectF area = kWhole) {
    const qreal width = area.width() / static_cast<qreal>(colours.size());
    qreal x = area.left();
    for (const QColor& colour : colours) {
        p.fillRect(QRectF(x, area.top(), width, area.height()), colour);
        x += width;
    }
}

void fullBars(QPainter& p, int level, QRectF area = kWhole) {
    bars(p,
         {grey(level), QColor(level, level, 0), QColor(0, level, level), QColor(0, level, 0),
          QColor(level, 0, level), QColor(level, 0, 0), QColor(0, 0, level), kBlack},
         area);
}

void greySteps(QPainter& p, int steps, QRectF area = kWhole) {
    const qreal width = area.width() / steps;
    for (int i = 0; i < steps; ++i)
        p.fillRect(QRectF(area.left() + i * width, area.top(), width, area.height()),
                   grey(i * 255 / (steps - 1)));
}

// Black at the left to `to` at the right.
void ramp(QPainter& p, const QColor& to, QRectF area = kWhole) {
    QLinearGradient gradient(area.topLeft(), area.topRight());
    gradient.setColorAt(0, kBlack);
    gradient.setColorAt(1, to);
    p.fillRect(area, gradient);
}

void whitePen(QPainter& p, qreal width = 1) {
    p.setPen(QPen(kWhite, width));
    p.setBrush(Qt::NoBrush);
}

// A white grid of five by five lines whose middle lines cross at the centre.
void crossHatch(QPainter& p, const QColor& background) {
    p.fillRect(kWhole, background);
    whitePen(p);
    for (qreal x : {4.5, 13.5, 22.5, 31.5, 40.5})
        p.drawLine(QPointF(x, 0), QPointF(x, kHeight));
    for (qreal y : {3.5, 9.5, 15.5, 21.5, 27.5})
        p.drawLine(QPointF(0, y), QPointF(kWidth, y));
}

// An arrow from `from` to `to` with its head at `to` (and at `from` when `bothEnds`).
void arrow(QPainter& p, QPointF from, QPointF to, bool bothEnds = false) {
    whitePen(p);
    p.drawLine(from, to);
    auto head = [&p](QPointF tip, QPointF tail) {
        const QPointF along = (tip - tail) / QLineF(tail, tip).length() * 3.5;
        const QPointF across(-along.y(), along.x());
        p.setBrush(kWhite);
        p.drawPolygon(QPolygonF({tip, tip - along + across, tip - along - across}));
        p.setBrush(Qt::NoBrush);
    };
    head(to, from);
    if (bothEnds)
        head(from, to);
}

void multiburst(QPainter& p) {
    p.fillRect(kWhole, grey(128));
    // Packets of white/black stripes, coarse at the left to fine at the right.
    struct Packet {
        int left;
        int period;
    };
    for (const Packet& packet :
         {Packet{2, 6}, Packet{10, 4}, Packet{18, 3}, Packet{26, 2}, Packet{35, 1}}) {
        const int width = 8;
        p.fillRect(QRectF(packet.left, 5, width, kHeight - 10), kBlack);
        const qreal stripe = packet.period > 1 ? packet.period / 2.0 : 0.5;
        for (int x = packet.left; x < packet.left + width; x += packet.period)
            p.fillRect(QRectF(x, 5, stripe, kHeight - 10), kWhite);
    }
}

void smpteBars(QPainter& p) {
    const qreal barWidth = kWidth / 7;
    bars(p,
         {grey(191), QColor(191, 191, 0), QColor(0, 191, 191), QColor(0, 191, 0),
          QColor(191, 0, 191), QColor(191, 0, 0), QColor(0, 0, 191)},
         QRectF(0, 0, kWidth, 20));
    bars(p,
         {QColor(0, 0, 191), kBlack, QColor(191, 0, 191), kBlack, QColor(0, 191, 191), kBlack,
          grey(191)},
         QRectF(0, 20, kWidth, 3));
    // -I, white, +Q and black under the first five bars, the three pluge steps, black.
    bars(p, {QColor(0, 33, 76), kWhite, QColor(50, 0, 106), kBlack},
         QRectF(0, 23, barWidth * 5, 8));
    bars(p, {grey(8), kBlack, grey(28), kBlack}, QRectF(barWidth * 5, 23, barWidth * 2, 8));
}

// An isometric cube standing at `base` (its lowest corner), `size` along each edge.
void cube(QPainter& p, QPointF base, qreal size, const QColor& colour) {
    const QPointF right(size * 0.87, -size * 0.5);
    const QPointF left(-size * 0.87, -size * 0.5);
    const QPointF up(0, -size);
    p.setPen(QPen(kBlack, 0.5));
    p.setBrush(colour.darker(160));
    p.drawPolygon(QPolygonF({base, base + right, base + right + up, base + up}));
    p.setBrush(colour);
    p.drawPolygon(QPolygonF({base, base + left, base + left + up, base + up}));
    p.setBrush(colour.lighter(150));
    p.drawPolygon(
        QPolygonF({base + up, base + left + up, base + left + right + up, base + right + up}));
}

void movingBall(QPainter& p) {
    p.fillRect(kWhole, kBlack);
    p.setPen(Qt::NoPen);
    // The trail fades towards where the ball came from.
    const QPointF trail[] = {{9, 23}, {16, 19}, {23, 15}};
    int level = 60;
    for (const QPointF& centre : trail) {
        p.setBrush(grey(level));
        p.drawEllipse(centre, 3, 3);
        level += 40;
    }
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(32, 11), 5, 5);
}

void targetCircle(QPainter& p) {
    p.fillRect(kWhole, kBlack);
    whitePen(p);
    const QPointF centre(22.5, 15.5);
    for (qreal radius : {4.0, 9.0, 14.0})
        p.drawEllipse(centre, radius, radius);
    p.drawLine(QPointF(0, centre.y()), QPointF(kWidth, centre.y()));
    p.drawLine(QPointF(centre.x(), 0), QPointF(centre.x(), kHeight));
}

void paintPattern(QPainter& p, int code) {
    switch (code) {
        case 0x00:  // 100%ColorBar
            fullBars(p, 255);
            break;
        case 0x01:  // 75%ColorBar
            fullBars(p, 191);
            break;
        case 0x02:  // 8 StepGrayBar
            greySteps(p, 8);
            break;
        case 0x03:
            p.fillRect(kWhole, kRed);
            break;
        case 0x04:
            p.fillRect(kWhole, kGreen);
            break;
        case 0x05:
            p.fillRect(kWhole, kBlue);
            break;
        case 0x06:
            p.fillRect(kWhole, kYellow);
            break;
        case 0x07:
            p.fillRect(kWhole, kCyan);
            break;
        case 0x08:
            p.fillRect(kWhole, kMagenta);
            break;
        case 0x09:  // 16 StepGrayBar
            greySteps(p, 16);
            break;
        case 0x0A:
            p.fillRect(kWhole, kWhite);
            break;
        case 0x0B:  // RGB Ramp: a red, a green and a blue ramp one above the other
            ramp(p, kRed, QRectF(0, 0, kWidth, kHeight / 3));
            ramp(p, kGreen, QRectF(0, kHeight / 3, kWidth, kHeight / 3));
            ramp(p, kBlue, QRectF(0, 2 * kHeight / 3, kWidth, kHeight / 3));
            break;
        case 0x0C:
            crossHatch(p, kBlack);
            break;
        case 0x0D:
            crossHatch(p, kRed);
            break;
        case 0x0E:
            crossHatch(p, kGreen);
            break;
        case 0x0F:
            crossHatch(p, kBlue);
            break;
        case 0x10:  // Square: a white square outline in the middle
            p.fillRect(kWhole, kBlack);
            whitePen(p, 2);
            p.drawRect(QRectF(12.5, 6, 20, 20));
            break;
        case 0x11:  // White dots
            p.fillRect(kWhole, kBlack);
            for (int y = 2; y < kHeightUnits - 1; y += 4)
                for (int x = 2; x < kWidthUnits - 1; x += 4)
                    p.fillRect(QRectF(x, y, 1, 1), kWhite);
            break;
        case 0x12:  // AlternateWB
            for (int x = 0; x < kWidthUnits; x += 6) {
                p.fillRect(QRectF(x, 0, 3, kHeight), kWhite);
                p.fillRect(QRectF(x + 3, 0, 3, kHeight), kBlack);
            }
            break;
        case 0x13:  // White HScrool: a white bar moving sideways
            p.fillRect(kWhole, kBlack);
            p.fillRect(QRectF(12, 0, 7, kHeight), kWhite);
            arrow(p, QPointF(23, 15.5), QPointF(41, 15.5));
            break;
        case 0x14:  // White VScrool: a white bar moving down
            p.fillRect(kWhole, kBlack);
            p.fillRect(QRectF(0, 5, kWidth, 6), kWhite);
            arrow(p, QPointF(22.5, 14), QPointF(22.5, 28));
            break;
        case 0x15:
            multiburst(p);
            break;
        case 0x16:  // Ver-split: left and right halves
            bars(p, {kWhite, kBlack});
            break;
        case 0x17:  // Hor-split: top and bottom halves
            p.fillRect(QRectF(0, 0, kWidth, kHeight / 2), kWhite);
            p.fillRect(QRectF(0, kHeight / 2, kWidth, kHeight / 2), kBlack);
            break;
        case 0x18:
            ramp(p, kRed);
            break;
        case 0x19:
            ramp(p, kGreen);
            break;
        case 0x1A:
            ramp(p, kBlue);
            break;
        case 0x1B:  // W/B Bounce: a white block going to and fro
            p.fillRect(kWhole, kBlack);
            p.fillRect(QRectF(4, 10, 11, 11), kWhite);
            arrow(p, QPointF(19, 15.5), QPointF(41, 15.5), true);
            break;
        case 0x1C:  // Border lines
            p.fillRect(kWhole, kBlack);
            whitePen(p);
            p.drawRect(QRectF(1.5, 1.5, kWidth - 3, kHeight - 3));
            p.drawRect(QRectF(5.5, 5.5, kWidth - 11, kHeight - 11));
            break;
        case 0x1D:  // Window: a white window in the middle of a black screen
            p.fillRect(kWhole, kBlack);
            p.fillRect(QRectF(kWidth / 4, kHeight / 4, kWidth / 2, kHeight / 2), kWhite);
            break;
        case 0x1E:
            targetCircle(p);
            break;
        case 0x1F:
            movingBall(p);
            break;
        case 0x20:  // 3D boxes
            p.fillRect(kWhole, QColor(24, 32, 64));
            cube(p, QPointF(11, 28), 8, QColor(200, 60, 60));
            cube(p, QPointF(24, 22), 10, QColor(60, 170, 60));
            cube(p, QPointF(36, 27), 7, QColor(70, 110, 220));
            break;
        case 0x21:
            smpteBars(p);
            break;
        case 0x22:  // GRAY RAMP
            ramp(p, kWhite);
            break;
        case 0x23:  // QUARTER BLOCK: white and black quarters crosswise
            p.fillRect(kWhole, kBlack);
            p.fillRect(QRectF(0, 0, kWidth / 2, kHeight / 2), kWhite);
            p.fillRect(QRectF(kWidth / 2, kHeight / 2, kWidth / 2, kHeight / 2), kWhite);
            break;
        case 0x24:  // ColorBar Gray: colour bars over grey steps
            fullBars(p, 255, QRectF(0, 0, kWidth, 20));
            greySteps(p, 8, QRectF(0, 20, kWidth, kHeight - 20));
            break;
        default:
            break;
    }
}

}  // namespace

QImage patternPicture(int code, qreal scale) {
    if (code < 0x00 || code > 0x24)
        return {};
    QImage image(kPatternPictureSize * scale, QImage::Format_RGB32);
    image.setDevicePixelRatio(scale);
    image.fill(kBlack);
    QPainter p(&image);
    p.setRenderHint(QPainter::Antialiasing);
    paintPattern(p, code);
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(kFrame, 1));
    p.setBrush(Qt::NoBrush);
    p.drawRect(QRectF(0.5, 0.5, kWidth - 1, kHeight - 1));
    return image;
}

}  // namespace krx
