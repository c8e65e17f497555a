#pragma once

namespace kov {

class Application;
class MainWindow;

// Connects the Preferences command (menu, toolbar and tray) to the preferences dialog.
void RegisterPreferencesCommands(MainWindow& window, Application& app);

}  // namespace kov
