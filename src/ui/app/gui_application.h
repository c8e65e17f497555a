#pragma once

#include <memory>

#include "session/application.h"

namespace kov {

class MainWindow;
class QtPrompter;

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
    std::unique_ptr<MainWindow> m_window;
};

}  // namespace kov
