#include "ui/app/app_icons.h"

#include <QIconEngine>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <vector>

#include "model/list_model.h"
#include "session/session_state.h"
#include "ui/app/icon_glyphs.h"

namespace kov {
namespace {

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
        m_glyph(*painter);
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
    {kCmdNewUrl, "document-new", glyphs::Plus},
    {kCmdEditUrl, "document-properties", glyphs::Pencil},
    {kCmdSaveList, "document-save", glyphs::Floppy},
    {kCmdMoveUp, "go-up", glyphs::ArrowUp},
    {kCmdMoveDown, "go-down", glyphs::ArrowDown},
    {kCmdDelete, "edit-delete", glyphs::Cross},
    {kCmdOpenUrl, "internet-web-browser", glyphs::Globe},
    {kCmdUrlInfo, "dialog-information", glyphs::Info},
    {kCmdPreferences, "preferences-system", glyphs::Gear},
    {kCmdStartDownload, "media-playback-start", glyphs::Play},
    {kCmdStop, "media-playback-stop", glyphs::StopSquare},
    {kCmdDialUp, "network-wired", glyphs::Plug},
    {kCmdSchedulerMode, "appointment-soon", glyphs::Clock},
    {kCmdSchedulerModeButton, "appointment-soon", glyphs::Clock},
    {kCmdSchedulerQueue, "appointment-soon", glyphs::Clock},
    // No theme names a speed limit: our own gauges keep the pair recognisable.
    {kCmdSpeedLimitOn, "", glyphs::LimitOn},
    {kCmdSpeedLimitOff, "", glyphs::LimitOff},
    {kCmdHelp, "help-contents", glyphs::Help},
    {kCmdRestore, "", glyphs::App},
};

const CommandIcon* FindCommand(CommandId id) {
    for (const CommandIcon& c : kCommandIcons)
        if (c.id == id) return &c;
    return nullptr;
}

}  // namespace

QIcon AppIcons::Command(CommandId id) {
    const CommandIcon* c = FindCommand(id);
    if (!c) return {};
    QIcon own = Drawn(c->glyph);
    if (*c->theme == '\0') return own;
    return QIcon::fromTheme(QString::fromLatin1(c->theme), own);
}

QIcon AppIcons::Row(int rowImage) {
    static constexpr Glyph kRows[] = {
        glyphs::RowNotDue,  glyphs::RowOrdinary, glyphs::RowDisabled, glyphs::RowFinished,
        glyphs::RowRunning, glyphs::RowQueued,   glyphs::RowAborted,  glyphs::RowStopRequested,
        glyphs::RowError,   glyphs::RowEmail,    glyphs::RowLocal,
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
        glyphs::Info,     glyphs::Info,       glyphs::RowFinished, glyphs::Info,  glyphs::RowError,
        glyphs::Play,     glyphs::RowAborted, glyphs::StopSquare,  glyphs::Cross, glyphs::RowNotDue,
        glyphs::RowError, glyphs::RowRunning, glyphs::RowEmail,
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
            return Drawn(glyphs::TrayDownloading);
        case TrayState::Scheduler:
            return Drawn(glyphs::TrayScheduler);
        case TrayState::MailCheck:
            return Drawn(glyphs::TrayMail);
        case TrayState::Idle:
            break;
    }
    return Drawn(glyphs::App);
}

QIcon AppIcons::Application() {
    // Not QIcon::fromTheme("kov"): the installed icon is an SVG, which this build cannot draw.
    return Drawn(glyphs::App);
}

}  // namespace kov
