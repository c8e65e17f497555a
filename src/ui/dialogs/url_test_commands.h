#pragma once

namespace kov {

class MainWindow;
struct AppSettings;
class ListDocument;

// Connects the window's "Get URL info" (the first selected row), list properties (the
// selected list, else the current one), new list and about commands to their dialogs.
void ConnectUrlTestCommands(MainWindow& window, AppSettings& settings, ListDocument& document);

}  // namespace kov
