#pragma once

#include <QString>

namespace kov {

// What the window asks of its tray icon; the tray icon implements it.
class TrayHook {
public:
    enum class State { Idle, Downloading, Scheduler, MailCheck };
    virtual ~TrayHook() = default;
    // False when no tray can show the icon: the window must then stay where the user finds it.
    virtual bool ShowIcon(const QString& tip) = 0;
    virtual void HideIcon() = 0;
    virtual void SetTip(const QString& tip) = 0;
    virtual void SetState(State state) = 0;
    // A desktop notification that a session ended.
    virtual void NotifySessionEnd(int /*files*/, int /*errors*/) {}
};

}  // namespace kov
