// kov: the desktop program.

#include <QApplication>
#include <QSessionManager>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/settings/settings_file_check.h"
#include "kov_version.h"
#include "platform/atomic_file_writer.h"
#include "platform/file_lock.h"
#include "platform/helper_threads.h"
#include "session/traffic_count_scope.h"
#include "ui/app/gui_application.h"
#include "ui/app/qt_prompter.h"
#include "ui/app/quit_signals.h"
#include "ui/window/main_window.h"

namespace {

constexpr int kExitRefused = 2;

const char* kHelp =
    "Usage: kov [settings-file] [-a] [-d] [-n<N>] [-b<file>] [-s<file>]\n"
    "The download manager's window: lists of URLs fetched again and again.\n"
    "\n"
    "  settings-file  the settings to use instead of the program folder's kov.ini\n"
    "  -a, -auto      run the current list at once, then close\n"
    "  -d, -down      with -a: power the computer off instead of closing\n"
    "  -n<N>          open list N (from 1)\n"
    "  -b<file>       banner rules file\n"
    "  -s<file>       site rules file\n"
    "  --help         this text\n"
    "  --version      the program's version\n"
    "\n"
    "The program folder is $KOV_HOME, else the executable's folder when a kov.ini stands\n"
    "beside it, else ~/.local/share/kov/. kov-cli runs the same lists without a window.\n";

std::string HolderText(int argc, char** argv) {
    std::string text = "kov";
    for (int i = 1; i < argc; ++i)
        text += std::string(" ") + argv[i];
    return text;
}

// Qt ends the program with an abort when it finds no display; a user should read why instead.
bool HasDisplay(int argc, char** argv) {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "-platform") == 0) return true;
    }
    return false;
}

// --help and --version print and end the program; true when one of them was given.
bool PrintedInfo(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kHelp, stdout);
            return true;
        }
        if (std::strcmp(argv[i], "--version") == 0) {
            std::printf("kov %s\n", KOV_VERSION);
            return true;
        }
    }
    return false;
}

// Why the program folder cannot be ours; "" once the lock is held. One writer per folder.
std::string LockProblem(kov::FileLock& lock, const std::string& folder, const std::string& holder) {
    if (lock.TryLock(folder + ".lock", holder)) {
        kov::RemoveStaleTemporaries(folder);  // left by a writer that was killed mid-save
        return "";
    }
    if (!lock.Error().empty()) return "Cannot lock the program folder: " + lock.Error();
    return folder + " is in use by " +
           (lock.Holder().empty() ? "another Kov program" : lock.Holder()) +
           ", which changes its lists and settings; try again when it has ended.";
}

int Refuse(kov::QtPrompter& prompter, const std::string& message) {
    std::fprintf(stderr, "kov: %s\n", message.c_str());
    prompter.Inform(message);
    kov::SetDefaultPrompter(nullptr);
    return kExitRefused;
}

// Shows the window until it closes, then saves and ends; the program's exit status.
int RunWindow(QApplication& qapp, kov::GuiApplication& app, kov::QtPrompter& prompter) {
    kov::TrafficCountScope trafficCount(app);
    kov::MainWindow& window = *app.Window();
    prompter.SetParent(&window);
    QObject::connect(&window, &kov::MainWindow::closed, &qapp, &QCoreApplication::quit);
    // The desktop session ends: everything is saved while the program still runs.
    QObject::connect(&qapp, &QGuiApplication::commitDataRequest, &qapp,
                     [&app](QSessionManager&) { (void)app.SaveNow(); });
    // A termination signal closes the window as the user would; a second one stops at once.
    kov::QuitSignals quitSignals([&window] { window.close(); });
    window.show();
    int status = QApplication::exec();

    window.EndSessions();
    trafficCount.End();
    prompter.SetParent(nullptr);
    if (!app.Shutdown(false)) status = 1;
    kov::SetDefaultPrompter(nullptr);
    // A dialog's background work has been told to stop and a host lookup a stopped job gave up
    // on may still wait for DNS: joined, for a moment.
    kov::JoinHelperThreads(std::chrono::seconds(2));
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    if (PrintedInfo(argc, argv)) return 0;
    if (!HasDisplay(argc, argv)) {
        std::fputs(
            "kov: no display (DISPLAY and WAYLAND_DISPLAY are unset); kov-cli runs the "
            "lists without a window\n",
            stderr);
        return kExitRefused;
    }
    const std::string holder = HolderText(argc, argv);
    QApplication qapp(argc, argv);  // takes Qt's own options out of argv
    QApplication::setApplicationName(QStringLiteral("Kov"));
    QApplication::setApplicationVersion(QStringLiteral(KOV_VERSION));
    // A message box closed while the window sits in the tray must not end the program.
    QApplication::setQuitOnLastWindowClosed(false);

    kov::QtPrompter prompter;
    kov::SetDefaultPrompter(&prompter);
    kov::GuiApplication app(prompter);
    kov::StartupInput input;
    for (int i = 1; i < argc; ++i)
        input.args.emplace_back(argv[i]);
    input.ctrlHeld = QGuiApplication::queryKeyboardModifiers() & Qt::ControlModifier;
    if (!app.Startup(input)) {
        kov::SetDefaultPrompter(nullptr);
        return kExitRefused;
    }
    // Something else under the settings file's name (a picture, a folder) would be destroyed
    // by the save at the end: refused as kov-cli refuses it.
    if (const std::string problem = kov::SettingsFileProblem(app.Paths().settingsFile, true);
        !problem.empty())
        return Refuse(prompter, problem);
    kov::FileLock lock;
    if (const std::string problem = LockProblem(lock, app.Paths().programFolder, holder);
        !problem.empty())
        return Refuse(prompter, problem);
    return RunWindow(qapp, app, prompter);
}
