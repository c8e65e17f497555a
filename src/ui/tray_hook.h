#pragma once

#include <QString>

namespace kov {

// What the window asks of its tray icon; the tray icon implements it.
class TrayHook {
public:
    enum class State { Idle, Downloading, Scheduler, MailCheck };
    virtual ~TrayHook() = default;
    virtual void ShowIcon(const QString& tip) = 0;
    virtual void HideIcon() = 0;
    virtual void SetTip(const QString& tip) = 0;
    virtual void SetState(State state) = 0;
};

}  // namespace kov
