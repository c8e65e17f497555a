#pragma once

#include <QObject>
#include <QString>
#include <QSystemTrayIcon>
#include <functional>
#include <memory>

#include "core/language/ui_text_ids.h"
#include "ui/app/app_icons.h"

class QMenu;
class QAction;

namespace kov {

// What the tray menu's entries do; an empty one leaves its entry without effect.
struct TrayActions {
    std::function<void()> restore;
    std::function<void()> startDownload;
    std::function<void()> stopDownload;
    std::function<void()> preferences;
    std::function<void()> help;
    std::function<void()> exit;
};

// The notification-area icon: its image follows the state, its tip is the window title, a
// double click restores the window, the right button opens its menu. Without a system tray
// (a bare X server, the offscreen platform) nothing is shown and every call is harmless.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    // How long a notification stays.
    static constexpr int kNoticeMs = 10000;

    explicit TrayIcon(TrayActions actions, QObject* parent = nullptr);
    ~TrayIcon() override;

    // Whether the desktop has a tray now (one may appear or go while the program runs).
    static bool Available();

    // Shows the icon (the window was minimised to the tray); false without a tray.
    bool Show();
    void Hide();
    bool Visible() const;

    void SetState(TrayState state);
    TrayState State() const { return m_state; }
    // The tip is the window title.
    void SetTip(const QString& title);
    QString Tip() const;

    // A desktop notification that a session ended, shown through the tray (the icon appears
    // for as long as the message when it was hidden). False when there is no tray to show it.
    bool NotifySessionEnd(int files, int errors);
    // "3 files downloaded, 1 error".
    static QString SessionEndText(int files, int errors);

    // The menu text of a tray entry (its id in core/ui_text_ids.h), localised.
    static QString Text(int id);

    QMenu* Menu() const { return m_menu.get(); }
    QSystemTrayIcon* SystemIcon() const { return m_icon; }

private:
    void OnActivated(QSystemTrayIcon::ActivationReason reason);
    QAction* AddEntry(int id, const std::function<void()>& action);

    TrayActions m_actions;
    std::unique_ptr<QMenu> m_menu;  // a QMenu takes no QObject parent
    QSystemTrayIcon* m_icon = nullptr;
    TrayState m_state = TrayState::Idle;
    bool m_wanted = false;   // shown for the minimised window, not only for a notification
    int m_noticeSerial = 0;  // the notification whose end may hide the icon again
};

}  // namespace kov
