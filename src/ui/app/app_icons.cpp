#include "ui/app/app_icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPolygonF>
#include <algorithm>
#include <cmath>
#include <vector>

#include "model/list_model.h"
#include "session/session_state.h"

namespace kov {
namespace {

enum class Glyph {
    App,
    TrayIdle,
    TrayDownloading,
    TrayScheduler,
    TrayMail,
    Plus,
    Pencil,
    Floppy,
    ArrowUp,
    ArrowDown,
    Cross,
    Globe,
    Info,
    Gear,
    Play,
    StopSquare,
    Plug,
    Clock,
    LimitOn,
    LimitOff,
    Help,
    RowNotDue,
    RowOrdinary,
    RowDisabled,
    RowFinished,
    RowRunning,
    RowQueued,
    RowAborted,
    RowStopRequested,
    RowError,
    RowEmail,
    RowLocal,
};

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

void Paint(QPainter& p, Glyph glyph) {
    switch (glyph) {
        case Glyph::App:
        case Glyph::TrayIdle:
            AppMark(p, kBlue);
            break;
        case Glyph::TrayDownloading:
            AppMark(p, kGreen);
            break;
        case Glyph::TrayScheduler:
            AppMark(p, kBlue);
            p.setPen(Stroke(kDark, 0.8));
            p.setBrush(kWhite);
            p.drawEllipse(QPointF(11.5, 11.5), 4, 4);
            ClockHands(p, kDark, {11.5, 11.5}, 6);
            break;
        case Glyph::TrayMail:
            AppMark(p, kBlue);
            Envelope(p, QRectF(7, 9, 8.5, 6));
            break;
        case Glyph::Plus:
            Line(p, kGreen, 3, {8, 3}, {8, 13});
            Line(p, kGreen, 3, {3, 8}, {13, 8});
            break;
        case Glyph::Pencil:
            p.setPen(Stroke(kDark, 0.8));
            p.setBrush(kAmber);
            p.drawPolygon(QPolygonF({{2.5, 13.5}, {3.5, 10}, {11, 2.5}, {13.5, 5}, {6, 12.5}}));
            break;
        case Glyph::Floppy:
            Fill(p, QColor(0x3b, 0x5b, 0xa5));
            p.drawRoundedRect(QRectF(2, 2, 12, 12), 1.5, 1.5);
            Fill(p, kWhite);
            p.drawRect(QRectF(4.5, 2, 7, 4.5));
            Fill(p, QColor(0xdd, 0xe3, 0xee));
            p.drawRect(QRectF(4, 9, 8, 5));
            break;
        case Glyph::ArrowUp:
            Polygon(p, kBlue,
                    {{8, 2}, {14, 8.5}, {10, 8.5}, {10, 14}, {6, 14}, {6, 8.5}, {2, 8.5}});
            break;
        case Glyph::ArrowDown:
            Polygon(p, kBlue, {{8, 14}, {14, 7.5}, {10, 7.5}, {10, 2}, {6, 2}, {6, 7.5}, {2, 7.5}});
            break;
        case Glyph::Cross:
            Line(p, kRed, 2.6, {3.5, 3.5}, {12.5, 12.5});
            Line(p, kRed, 2.6, {12.5, 3.5}, {3.5, 12.5});
            break;
        case Glyph::Globe:
            p.setPen(Stroke(kBlue, 1.2));
            p.setBrush(QColor(0xdc, 0xe8, 0xfb));
            p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(8, 8), 2.6, 6.2);
            p.drawLine(QPointF(1.8, 8), QPointF(14.2, 8));
            break;
        case Glyph::Info:
            Disc(p, kBlue);
            Disc(p, kWhite, {8, 4.8}, 1.1);
            Line(p, kWhite, 2, {8, 7.5}, {8, 12});
            break;
        case Glyph::Gear:
            for (int i = 0; i < 8; ++i) {
                const qreal a = i * M_PI / 4;
                Line(p, kGray, 2.6, {8, 8}, {8 + 6.3 * std::cos(a), 8 + 6.3 * std::sin(a)});
            }
            Disc(p, kGray, {8, 8}, 4.8);
            Disc(p, kWhite, {8, 8}, 2);
            break;
        case Glyph::Play:
            Polygon(p, kGreen, {{4, 2.5}, {13.5, 8}, {4, 13.5}});
            break;
        case Glyph::StopSquare:
            Fill(p, kRed);
            p.drawRoundedRect(QRectF(3, 3, 10, 10), 1.5, 1.5);
            break;
        case Glyph::Plug:
            Line(p, kDark, 1.4, {6.5, 2}, {6.5, 6});
            Line(p, kDark, 1.4, {9.5, 2}, {9.5, 6});
            Fill(p, kGray);
            p.drawRoundedRect(QRectF(4, 6, 8, 5.5), 1.5, 1.5);
            Line(p, kDark, 1.4, {8, 11.5}, {8, 15});
            break;
        case Glyph::Clock:
            p.setPen(Stroke(kDark, 1.2));
            p.setBrush(kWhite);
            p.drawEllipse(QPointF(8, 8), 6.2, 6.2);
            ClockHands(p, kDark, {8, 8}, 11);
            break;
        case Glyph::LimitOn:
            Gauge(p, 150);
            break;
        case Glyph::LimitOff:
            Gauge(p, 30);
            break;
        case Glyph::Help:
            Disc(p, kBlue);
            p.setPen(Stroke(kWhite, 1.8));
            p.setBrush(Qt::NoBrush);
            p.drawArc(QRectF(5.5, 3.3, 5, 5), 180 * 16, -270 * 16);
            p.drawLine(QPointF(8, 8.3), QPointF(8, 9.6));
            Disc(p, kWhite, {8, 12.2}, 1.1);
            break;
        case Glyph::RowNotDue:
            p.setPen(Stroke(kGray, 1.4));
            p.setBrush(Qt::NoBrush);
            p.drawEllipse(QPointF(8, 8), 5.5, 5.5);
            break;
        case Glyph::RowOrdinary:
            Disc(p, kBlue, {8, 8}, 5.5);
            break;
        case Glyph::RowDisabled:
            Disc(p, kGray, {8, 8}, 5.5);
            Line(p, kWhite, 1.6, {5, 11}, {11, 5});
            break;
        case Glyph::RowFinished:
            Line(p, kGreen, 2.4, {3, 8.5}, {6.5, 12});
            Line(p, kGreen, 2.4, {6.5, 12}, {13, 4});
            break;
        case Glyph::RowRunning:
            Disc(p, kGreen);
            Polygon(p, kWhite,
                    {{8, 12}, {4.5, 8}, {6.8, 8}, {6.8, 4}, {9.2, 4}, {9.2, 8}, {11.5, 8}});
            break;
        case Glyph::RowQueued:
            Disc(p, kAmber);
            ClockHands(p, kWhite, {8, 8}, 10);
            break;
        case Glyph::RowAborted:
            Disc(p, kOrange);
            Line(p, kWhite, 2, {4.8, 8}, {11.2, 8});
            break;
        case Glyph::RowStopRequested:
            Line(p, kOrange, 2.8, {5.5, 3.5}, {5.5, 12.5});
            Line(p, kOrange, 2.8, {10.5, 3.5}, {10.5, 12.5});
            break;
        case Glyph::RowError:
            Disc(p, kRed);
            Line(p, kWhite, 1.8, {5.5, 5.5}, {10.5, 10.5});
            Line(p, kWhite, 1.8, {10.5, 5.5}, {5.5, 10.5});
            break;
        case Glyph::RowEmail:
            Envelope(p, QRectF(1.5, 3.5, 13, 9));
            break;
        case Glyph::RowLocal:
            Folder(p);
            break;
    }
}

// Paints a glyph at the size asked for, so scaled pixmaps never blur.
class GlyphEngine : public QIconEngine {
public:
    explicit GlyphEngine(Glyph glyph) : m_glyph(glyph) {}

    void paint(QPainter* painter, const QRect& rect, QIcon::Mode mode, QIcon::State) override {
        const qreal side = std::min(rect.width(), rect.height());
        if (side <= 0) return;
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->translate(rect.x() + (rect.width() - side) / 2.0,
                           rect.y() + (rect.height() - side) / 2.0);
        painter->scale(side / 16.0, side / 16.0);
        if (mode == QIcon::Disabled) painter->setOpacity(0.35);
        Paint(*painter, m_glyph);
        painter->restore();
    }

    QPixmap pixmap(const QSize& size, QIcon::Mode mode, QIcon::State state) override {
        QPixmap pm(size);
        pm.fill(Qt::transparent);
        QPainter p(&pm);
        paint(&p, QRect(QPoint(0, 0), size), mode, state);
        return pm;
    }

    QList<QSize> availableSizes(QIcon::Mode, QIcon::State) override {
        // Some tray hosts only take the sizes an icon says it has.
        return {{16, 16}, {22, 22}, {24, 24}, {32, 32}, {48, 48}, {64, 64}, {128, 128}, {256, 256}};
    }

    QIconEngine* clone() const override { return new GlyphEngine(m_glyph); }
    QString key() const override { return QStringLiteral("kov-glyph"); }

private:
    Glyph m_glyph;
};

QIcon Drawn(Glyph glyph) {
    return QIcon(new GlyphEngine(glyph));
}

struct CommandIcon {
    CommandId id;
    const char* theme;
    Glyph glyph;
};

constexpr CommandIcon kCommandIcons[] = {
    {kCmdNewUrl, "document-new", Glyph::Plus},
    {kCmdEditUrl, "document-properties", Glyph::Pencil},
    {kCmdSaveList, "document-save", Glyph::Floppy},
    {kCmdMoveUp, "go-up", Glyph::ArrowUp},
    {kCmdMoveDown, "go-down", Glyph::ArrowDown},
    {kCmdDelete, "edit-delete", Glyph::Cross},
    {kCmdOpenUrl, "internet-web-browser", Glyph::Globe},
    {kCmdUrlInfo, "dialog-information", Glyph::Info},
    {kCmdPreferences, "preferences-system", Glyph::Gear},
    {kCmdStartDownload, "media-playback-start", Glyph::Play},
    {kCmdStop, "media-playback-stop", Glyph::StopSquare},
    {kCmdDialUp, "network-wired", Glyph::Plug},
    {kCmdSchedulerMode, "appointment-soon", Glyph::Clock},
    {kCmdSchedulerModeButton, "appointment-soon", Glyph::Clock},
    {kCmdSchedulerQueue, "appointment-soon", Glyph::Clock},
    // No theme names a speed limit: our own gauges keep the pair recognisable.
    {kCmdSpeedLimitOn, "", Glyph::LimitOn},
    {kCmdSpeedLimitOff, "", Glyph::LimitOff},
    {kCmdHelp, "help-contents", Glyph::Help},
    {kCmdRestore, "", Glyph::App},
};

const CommandIcon* FindCommand(CommandId id) {
    for (const CommandIcon& c : kCommandIcons)
        if (c.id == id) return &c;
    return nullptr;
}

}  // namespace

const char* AppIcons::ThemeName(CommandId id) {
    const CommandIcon* c = FindCommand(id);
    return c ? c->theme : "";
}

QIcon AppIcons::Command(CommandId id) {
    const CommandIcon* c = FindCommand(id);
    if (!c) return {};
    QIcon own = Drawn(c->glyph);
    if (*c->theme == '\0') return own;
    return QIcon::fromTheme(QString::fromLatin1(c->theme), own);
}

QIcon AppIcons::Row(int rowImage) {
    static constexpr Glyph kRows[] = {
        Glyph::RowNotDue,  Glyph::RowOrdinary, Glyph::RowDisabled, Glyph::RowFinished,
        Glyph::RowRunning, Glyph::RowQueued,   Glyph::RowAborted,  Glyph::RowStopRequested,
        Glyph::RowError,   Glyph::RowEmail,    Glyph::RowLocal,
    };
    static_assert(std::size(kRows) == kImageLocalJob + 1, "one glyph per row image");
    // Made once: a view asks for them with every row it paints.
    static const std::vector<QIcon> icons = [] {
        std::vector<QIcon> made;
        for (const Glyph g : kRows)
            made.push_back(Drawn(g));
        return made;
    }();
    if (rowImage < 0 || rowImage > kImageLocalJob) rowImage = kImageOrdinary;
    return icons[static_cast<std::size_t>(rowImage)];
}

QIcon AppIcons::Log(int logImage) {
    static constexpr Glyph kLines[] = {
        Glyph::Info,     Glyph::Info,       Glyph::RowFinished, Glyph::Info,  Glyph::RowError,
        Glyph::Play,     Glyph::RowAborted, Glyph::StopSquare,  Glyph::Cross, Glyph::RowNotDue,
        Glyph::RowError, Glyph::RowRunning, Glyph::RowEmail,
    };
    static_assert(std::size(kLines) == kLogMail + 1, "one glyph per log image");
    static const std::vector<QIcon> icons = [] {
        std::vector<QIcon> made;
        for (const Glyph g : kLines)
            made.push_back(Drawn(g));
        return made;
    }();
    if (logImage < 0 || logImage > kLogMail) logImage = kLogInfo;
    return icons[static_cast<std::size_t>(logImage)];
}

QIcon AppIcons::Tray(TrayState state) {
    // The tray shows our own mark in every state: a theme icon would hide which state it is.
    switch (state) {
        case TrayState::Downloading:
            return Drawn(Glyph::TrayDownloading);
        case TrayState::Scheduler:
            return Drawn(Glyph::TrayScheduler);
        case TrayState::MailCheck:
            return Drawn(Glyph::TrayMail);
        case TrayState::Idle:
            break;
    }
    return Drawn(Glyph::TrayIdle);
}

QIcon AppIcons::Application() {
    // Not QIcon::fromTheme("kov"): the installed icon is an SVG, which this build cannot draw.
    return Drawn(Glyph::App);
}

}  // namespace kov
