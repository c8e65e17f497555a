#pragma once

#include <functional>

#include "ui/app/tray_hook.h"
#include "ui/app/tray_icon.h"

namespace kov {

// The window's tray: the notification-area icon behind the window's tray hook, its menu
// entries running the window's commands.
class WindowTray : public TrayHook {
public:
    explicit WindowTray(std::function<void(int command)> execute);

    bool ShowIcon(const QString& tip) override;
    void HideIcon() override;
    void SetTip(const QString& tip) override;
    void SetState(State state) override;
    void NotifySessionEnd(int files, int errors) override;

    TrayIcon& Icon() { return m_icon; }

private:
    static TrayActions Actions(const std::function<void(int)>& execute);

    TrayIcon m_icon;
};

}  // namespace kov
