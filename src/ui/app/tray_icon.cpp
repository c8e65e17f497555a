#include "ui/app/tray_icon.h"

#include <QAction>
#include <QMenu>
#include <QTimer>
#include <string_view>

#include "core/language/localiser.h"

namespace kov {
namespace {

struct TrayEntry {
    int id;
    std::string_view english;
    std::function<void()> TrayActions::*action;
};

// In menu order; a null id is a separator.
const TrayEntry kEntries[] = {
    {kGuiAppRestore, "&Restore", &TrayActions::restore},
    {0, "", nullptr},
    {kGuiMnuStart, "&Start download", &TrayActions::startDownload},
    {kGuiMnuStop, "Stop Download", &TrayActions::stopDownload},
    {0, "", nullptr},
    {kGuiMnuConfig, "Preferences", &TrayActions::preferences},
    {kGuiMnuOpenHelp, "Help (HTML)", &TrayActions::help},
    {0, "", nullptr},
    {kGuiMnuExit, "&Exit", &TrayActions::exit},
};

QString Plural(int count, const char* one, const char* many) {
    return QString::number(count) + QLatin1Char(' ') + QString::fromLatin1(count == 1 ? one : many);
}

}  // namespace

TrayIcon::TrayIcon(TrayActions actions, QObject* parent)
    : QObject(parent), m_actions(std::move(actions)), m_menu(std::make_unique<QMenu>()) {
    m_icon = new QSystemTrayIcon(AppIcons::Tray(m_state), this);
    for (const TrayEntry& e : kEntries) {
        if (e.id == 0) {
            m_menu->addSeparator();
        } else {
            AddEntry(e.id, m_actions.*e.action);
        }
    }
    m_menu->setDefaultAction(m_menu->actions().value(0));
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon, &QSystemTrayIcon::activated, this, &TrayIcon::OnActivated);
    connect(m_icon, &QSystemTrayIcon::messageClicked, this, [this] {
        if (m_actions.restore) m_actions.restore();
    });
}

TrayIcon::~TrayIcon() {
    m_icon->hide();
}

QAction* TrayIcon::AddEntry(int id, const std::function<void()>& action) {
    QAction* entry = m_menu->addAction(Text(id));
    entry->setData(id);
    connect(entry, &QAction::triggered, this, [&action] {
        if (action) action();
    });
    return entry;
}

QString TrayIcon::Text(int id) {
    for (const TrayEntry& e : kEntries) {
        if (e.id == id) return QString::fromStdString(Texts().GetText(id, e.english));
    }
    return {};
}

bool TrayIcon::Available() {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayIcon::Show() {
    m_wanted = true;
    if (!Available()) return false;
    m_icon->show();
    return true;
}

void TrayIcon::Hide() {
    m_wanted = false;
    m_icon->hide();
}

bool TrayIcon::Visible() const {
    return m_icon->isVisible();
}

void TrayIcon::SetState(TrayState state) {
    if (state == m_state) return;
    m_state = state;
    m_icon->setIcon(AppIcons::Tray(state));
}

void TrayIcon::SetTip(const QString& title) {
    m_icon->setToolTip(title);
}

QString TrayIcon::Tip() const {
    return m_icon->toolTip();
}

QString TrayIcon::SessionEndText(int files, int errors) {
    return Plural(files, "file downloaded", "files downloaded") + QStringLiteral(", ") +
           (errors == 0 ? QStringLiteral("no errors") : Plural(errors, "error", "errors"));
}

bool TrayIcon::NotifySessionEnd(int files, int errors) {
    if (!Available() || !QSystemTrayIcon::supportsMessages()) return false;
    if (!m_icon->isVisible()) {
        // Shown only for the message: hidden again after it unless the window went to the
        // tray meanwhile.
        m_icon->show();
        const int serial = ++m_noticeSerial;
        QTimer::singleShot(kNoticeMs, this, [this, serial] {
            if (serial == m_noticeSerial && !m_wanted) m_icon->hide();
        });
    }
    m_icon->showMessage(QStringLiteral("Kov"), SessionEndText(files, errors),
                        errors > 0 ? QSystemTrayIcon::Warning : QSystemTrayIcon::Information,
                        kNoticeMs);
    return true;
}

void TrayIcon::OnActivated(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::DoubleClick && m_actions.restore) m_actions.restore();
}

}  // namespace kov
