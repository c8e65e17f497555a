#include "ui/app/icon_glyphs.h"

#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <cmath>

namespace kov {
namespace {

const QColor kBlue(0x2d, 0x6c, 0xdf), kGreen(0x1f, 0x9d, 0x55), kRed(0xd6, 0x33, 0x33),
    kOrange(0xe8, 0x7d, 0x1e), kAmber(0xe0, 0xa5, 0x26), kGray(0x8a, 0x8f, 0x98),
    kDark(0x33, 0x36, 0x3d), kWhite(Qt::white);

QPen Stroke(const QColor& color, qreal width) {
    return QPen(color, width, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
}

void Fill(QPainter& p, const QColor& color) {
    p.setPen(Qt::NoPen);
    p.setBrush(color);
}

void Disc(QPainter& p, const QColor& color, QPointF centre = {8, 8}, qreal radius = 6.5) {
    Fill(p, color);
    p.drawEllipse(centre, radius, radius);
}

void Polygon(QPainter& p, const QColor& color, std::initializer_list<QPointF> points) {
    Fill(p, color);
    p.drawPolygon(QPolygonF(QList<QPointF>(points)));
}

void Line(QPainter& p, const QColor& color, qreal width, QPointF a, QPointF b) {
    p.setPen(Stroke(color, width));
    p.drawLine(a, b);
}

void ClockHands(QPainter& p, const QColor& color, QPointF centre, qreal size) {
    p.setPen(Stroke(color, size * 0.12));
    p.drawLine(centre, centre + QPointF(0, -size * 0.4));
    p.drawLine(centre, centre + QPointF(size * 0.3, 0));
}

void Envelope(QPainter& p, const QRectF& r) {
    p.setPen(Stroke(kDark, 0.8));
    p.setBrush(kWhite);
    p.drawRect(r);
    p.setBrush(Qt::NoBrush);
    p.drawPolyline(QPolygonF(
        {r.topLeft(), QPointF(r.center().x(), r.center().y() + r.height() / 6), r.topRight()}));
}

void Folder(QPainter& p) {
    Polygon(p, kAmber.darker(115),
            {{1.5, 4}, {6, 4}, {7.5, 5.5}, {14.5, 5.5}, {14.5, 13}, {1.5, 13}});
    Polygon(p, kAmber, {{1.5, 7}, {14.5, 7}, {14.5, 13}, {1.5, 13}});
}

// The application's mark: a download arrow into a tray on a rounded square.
void AppMark(QPainter& p, const QColor& background) {
    Fill(p, background);
    p.drawRoundedRect(QRectF(1, 1, 14, 14), 3, 3);
    Polygon(p, kWhite,
            {{8, 11.5}, {4, 7.5}, {6.5, 7.5}, {6.5, 3}, {9.5, 3}, {9.5, 7.5}, {12, 7.5}});
    Line(p, kWhite, 1.3, {4, 13}, {12, 13});
}

void Gauge(QPainter& p, qreal needleDegrees) {
    p.setPen(Stroke(kDark, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(2, 4, 12, 12), 0, 180 * 16);
    const qreal a = needleDegrees * M_PI / 180;
    Line(p, kRed, 1.4, {8, 10}, {8 + 5 * std::cos(a), 10 - 5 * std::sin(a)});
    Disc(p, kDark, {8, 10}, 1.2);
}

}  // namespace

namespace glyphs {

void App(QPainter& p) {
    AppMark(p, kBlue);
}

void TrayDownloading(QPainter& p) {
    AppMark(p, kGreen);
}

void TrayScheduler(QPainter& p) {
    AppMark(p, kBlue);
    p.setPen(Stroke(kDark, 0.8));
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(11.5, 11.5), 4, 4);
    ClockHands(p, kDark, {11.5, 11.5}, 6);
}

void TrayMail(QPainter& p) {
    AppMark(p, kBlue);
    Envelope(p, QRectF(7, 9, 8.5, 6));
}

void Plus(QPainter& p) {
    Line(p, kGreen, 3, {8, 3}, {8, 13});
    Line(p, kGreen, 3, {3, 8}, {13, 8});
}

void Pencil(QPainter& p) {
    p.setPen(Stroke(kDark, 0.8));
    p.setBrush(kAmber);
    p.drawPolygon(QPolygonF({{2.5, 13.5}, {3.5, 10}, {11, 2.5}, {13.5, 5}, {6, 12.5}}));
}

void Floppy(QPainter& p) {
    Fill(p, QColor(0x3b, 0x5b, 0xa5));
    p.drawRoundedRect(QRectF(2, 2, 12, 12), 1.5, 1.5);
    Fill(p, kWhite);
    p.drawRect(QRectF(4.5, 2, 7, 4.5));
    Fill(p, QColor(0xdd, 0xe3, 0xee));
    p.drawRect(QRectF(4, 9, 8, 5));
}

void ArrowUp(QPainter& p) {
    Polygon(p, kBlue, {{8, 2}, {14, 8.5}, {10, 8.5}, {10, 14}, {6, 14}, {6, 8.5}, {2, 8.5}});
}

void ArrowDown(QPainter& p) {
    Polygon(p, kBlue, {{8, 14}, {14, 7.5}, {10, 7.5}, {10, 2}, {6, 2}, {6, 7.5}, {2, 7.5}});
}

void Cross(QPainter& p) {
    Line(p, kRed, 2.6, {3.5, 3.5}, {12.5, 12.5});
    Line(p, kRed, 2.6, {12.5, 3.5}, {3.5, 12.5});
}

void Globe(QPainter& p) {
    p.setPen(Stroke(kBlue, 1.2));
    p.setBrush(QColor(0xdc, 0xe8, 0xfb));
    p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8, 8), 2.6, 6.2);
    p.drawLine(QPointF(1.8, 8), QPointF(14.2, 8));
}

void Info(QPainter& p) {
    Disc(p, kBlue);
    Disc(p, kWhite, {8, 4.8}, 1.1);
    Line(p, kWhite, 2, {8, 7.5}, {8, 12});
}

void Gear(QPainter& p) {
    for (int i = 0; i < 8; ++i) {
        const qreal a = i * M_PI / 4;
        Line(p, kGray, 2.6, {8, 8}, {8 + 6.3 * std::cos(a), 8 + 6.3 * std::sin(a)});
    }
    Disc(p, kGray, {8, 8}, 4.8);
    Disc(p, kWhite, {8, 8}, 2);
}

void Play(QPainter& p) {
    Polygon(p, kGreen, {{4, 2.5}, {13.5, 8}, {4, 13.5}});
}

void StopSquare(QPainter& p) {
    Fill(p, kRed);
    p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
}

void Plug(QPainter& p) {
    Line(p, kDark, 1.4, {6.5, 2}, {6.5, 6});
    Line(p, kDark, 1.4, {9.5, 2}, {9.5, 6});
    Fill(p, kGray);
    p.drawRoundedRect(QRectF(4, 6, 8, 5.5), 1.5, 1.5);
    Line(p, kDark, 1.4, {8, 11.5}, {8, 15});
}

void Clock(QPainter& p) {
    p.setPen(Stroke(kDark, 1.2));
    p.setBrush(kWhite);
    p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
    ClockHands(p, kDark, {8, 8}, 11);
}

void LimitOn(QPainter& p) {
    Gauge(p, 150);
}

void LimitOff(QPainter& p) {
    Gauge(p, 30);
}

void Help(QPainter& p) {
    Disc(p, kBlue);
    p.setPen(Stroke(kWhite, 1.8));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(5.5, 3.3, 5, 5), 180 * 16, -270 * 16);
    p.drawLine(QPointF(8, 8.3), QPointF(8, 9.6));
    Disc(p, kWhite, {8, 12.2}, 1.1);
}

void RowNotDue(QPainter& p) {
    p.setPen(Stroke(kGray, 1.4));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
}

void RowOrdinary(QPainter& p) {
    Disc(p, kBlue, {8, 8}, 5.5);
}

void RowDisabled(QPainter& p) {
    Disc(p, kGray, {8, 8}, 5.5);
    Line(p, kWhite, 1.6, {5, 11}, {11, 5});
}

void RowFinished(QPainter& p) {
    Line(p, kGreen, 2.4, {3, 8.5}, {6.5, 12});
    Line(p, kGreen, 2.4, {6.5, 12}, {13, 4});
}

void RowRunning(QPainter& p) {
    Disc(p, kGreen);
    Polygon(p, kWhite, {{8, 12}, {4.5, 8}, {6.8, 8}, {6.8, 4}, {9.2, 4}, {9.2, 8}, {11.5, 8}});
}

void RowQueued(QPainter& p) {
    Disc(p, kAmber);
    ClockHands(p, kWhite, {8, 8}, 10);
}

void RowAborted(QPainter& p) {
    Disc(p, kOrange);
    Line(p, kWhite, 2, {4.8, 8}, {11.2, 8});
}

void RowStopRequested(QPainter& p) {
    Line(p, kOrange, 2.8, {5.5, 3.5}, {5.5, 12.5});
    Line(p, kOrange, 2.8, {10.5, 3.5}, {10.5, 12.5});
}

void RowError(QPainter& p) {
    Disc(p, kRed);
    Line(p, kWhite, 1.8, {5.5, 5.5}, {10.5, 10.5});
    Line(p, kWhite, 1.8, {10.5, 5.5}, {5.5, 10.5});
}

void RowEmail(QPainter& p) {
    Envelope(p, QRectF(1.5, 3.5, 13, 9));
}

void RowLocal(QPainter& p) {
    Folder(p);
}

}  // namespace glyphs
}  // namespace kov
