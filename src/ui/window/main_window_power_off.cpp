#include "core/prompter.h"
#include "platform/system_power.h"
#include "session/end_of_session.h"
#include "ui/window/main_window.h"

namespace kov {

// The power-off goes ahead only with everything saved: a list not written would fetch its
// items again at the next start. While the system refuses, the program stays as it is.
void MainWindow::PowerOffAfterSession() {
    if (m_setup.saveOnClose && !m_setup.saveOnClose(false)) return;
    if (const long error = ExitWindows(2); error != 0) {
        m_prompter.Inform(ShutdownErrorText(error));
        return;
    }
    close();
}

}  // namespace kov
