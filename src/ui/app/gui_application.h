#pragma once

#include <memory>

#include "session/application.h"

namespace kov {

class MainWindow;
class QtMainLoop;
class QtPrompter;
class RemoteControl;

// The desktop program from start-up to shut-down: the shared order, with the main window made
// at its step and its layout taken into the settings at the shut-down.
class GuiApplication : public Application {
public:
    explicit GuiApplication(QtPrompter& prompter);
    ~GuiApplication() override;

    // Exists after Startup.
    MainWindow* Window() { return m_window.get(); }
    // Saves now what the shut-down saves (the desktop session is ending); the program goes on.
    // False when a file could not be written (reported).
    bool SaveNow();

protected:
    void CreateMainWindow() override;
    void TakeWindowLayout() override;

private:
    // Remote control over HTTP when [Remote] Enabled=1; restarted by accepted preferences.
    void StartRemoteControl();

    std::unique_ptr<MainWindow> m_window;
    // Declared after the window: they go before its session and lists.
    std::unique_ptr<QtMainLoop> m_remoteLoop;
    std::unique_ptr<RemoteControl> m_remote;
};

}  // namespace kov
