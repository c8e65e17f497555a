#include "ui/row_images.h"

#include <QPainter>
#include <QPixmap>
#include <array>

#include "model/list_model.h"
#include "session/session_state.h"

namespace kov {

namespace {

enum class Shape { Dot, Ring, Square, Check, Play, Pause, Cross, Bar, Envelope };

struct Look {
    Shape shape;
    QColor color;
};

QIcon Draw(const Look& look) {
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QPen(look.color.darker(140), 1.5));
    p.setBrush(look.color);
    switch (look.shape) {
        case Shape::Dot:
            p.drawEllipse(QRectF(3, 3, 10, 10));
            break;
        case Shape::Ring:
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QRectF(3, 3, 10, 10));
            break;
        case Shape::Square:
            p.drawRect(QRectF(3.5, 3.5, 9, 9));
            break;
        case Shape::Check:
            p.setPen(QPen(look.color, 2.5));
            p.drawPolyline(QPolygonF({QPointF(3, 8), QPointF(7, 12), QPointF(13, 4)}));
            break;
        case Shape::Play:
            p.drawPolygon(QPolygonF({QPointF(4, 3), QPointF(13, 8), QPointF(4, 13)}));
            break;
        case Shape::Pause:
            p.drawRect(QRectF(4, 3, 3, 10));
            p.drawRect(QRectF(9, 3, 3, 10));
            break;
        case Shape::Cross:
            p.setPen(QPen(look.color, 2.5));
            p.drawLine(QPointF(4, 4), QPointF(12, 12));
            p.drawLine(QPointF(12, 4), QPointF(4, 12));
            break;
        case Shape::Bar:
            p.drawRect(QRectF(2.5, 6.5, 11, 3));
            break;
        case Shape::Envelope:
            p.setBrush(Qt::white);
            p.drawRect(QRectF(2.5, 4.5, 11, 8));
            p.drawPolyline(QPolygonF({QPointF(2.5, 4.5), QPointF(8, 9), QPointF(13.5, 4.5)}));
            break;
    }
    return QIcon(pixmap);
}

}  // namespace

QIcon RowImageIcon(int image) {
    static const std::array<QIcon, 11> icons = {
        Draw({Shape::Ring, QColor(150, 150, 150)}),     // not due
        Draw({Shape::Dot, QColor(70, 130, 200)}),       // ordinary
        Draw({Shape::Bar, QColor(160, 160, 160)}),      // disabled
        Draw({Shape::Check, QColor(40, 160, 60)}),      // finished
        Draw({Shape::Play, QColor(40, 160, 60)}),       // running
        Draw({Shape::Square, QColor(230, 190, 40)}),    // queued
        Draw({Shape::Pause, QColor(220, 120, 30)}),     // aborted
        Draw({Shape::Pause, QColor(200, 60, 60)}),      // stop requested
        Draw({Shape::Cross, QColor(200, 40, 40)}),      // error or deleted
        Draw({Shape::Envelope, QColor(70, 130, 200)}),  // received by e-mail
        Draw({Shape::Play, QColor(70, 130, 200)}),      // local job
    };
    return image >= 0 && image < static_cast<int>(icons.size()) ? icons[image]
                                                                : icons[kImageOrdinary];
}

QIcon LogImageIcon(int image) {
    static const std::array<QIcon, 13> icons = {
        Draw({Shape::Dot, QColor(70, 130, 200)}),  // information
        Draw({Shape::Dot, QColor(70, 130, 200)}),
        Draw({Shape::Check, QColor(40, 160, 60)}),  // success
        Draw({Shape::Dot, QColor(70, 130, 200)}),
        Draw({Shape::Cross, QColor(150, 40, 150)}),     // internal error
        Draw({Shape::Play, QColor(40, 160, 60)}),       // session start
        Draw({Shape::Pause, QColor(220, 120, 30)}),     // stopped
        Draw({Shape::Square, QColor(200, 40, 40)}),     // halt
        Draw({Shape::Cross, QColor(220, 120, 30)}),     // deleted, connection error
        Draw({Shape::Ring, QColor(120, 120, 120)}),     // connection closed
        Draw({Shape::Cross, QColor(200, 40, 40)}),      // error
        Draw({Shape::Play, QColor(70, 130, 200)}),      // resumed
        Draw({Shape::Envelope, QColor(70, 130, 200)}),  // mail
    };
    return image >= 0 && image < static_cast<int>(icons.size()) ? icons[image] : icons[kLogInfo];
}

}  // namespace kov
