#include "ui/window/window_tray.h"

#include "core/command_ids.h"
#include "ui/window/command_table.h"

namespace kov {

static_assert(static_cast<int>(TrayHook::State::MailCheck) ==
                  static_cast<int>(TrayState::MailCheck),
              "the hook's states are the icon's images");

TrayActions WindowTray::Actions(const std::function<void(int)>& execute) {
    auto run = [execute](int command) { return [execute, command] { execute(command); }; };
    TrayActions actions;
    actions.restore = run(kCmdRestore);
    actions.startDownload = run(kCmdStartDownload);
    actions.stopDownload = run(kCmdStop);
    actions.preferences = run(kCmdPreferences);
    actions.help = run(kCmdHelp);
    actions.exit = run(kCmdExit);
    return actions;
}

WindowTray::WindowTray(std::function<void(int command)> execute) : m_icon(Actions(execute)) {}

bool WindowTray::ShowIcon(const QString& tip) {
    m_icon.SetTip(tip);
    return m_icon.Show();
}

void WindowTray::HideIcon() {
    m_icon.Hide();
}

void WindowTray::SetTip(const QString& tip) {
    m_icon.SetTip(tip);
}

void WindowTray::SetState(State state) {
    m_icon.SetState(static_cast<TrayState>(state));
}

void WindowTray::NotifySessionEnd(int files, int errors) {
    (void)m_icon.NotifySessionEnd(files, errors);
}

}  // namespace kov
