#include "ui/preferences/preferences_commands.h"

#include "core/command_ids.h"
#include "core/language/localiser.h"
#include "net/transfer/traffic_meter.h"
#include "session/application.h"
#include "ui/preferences/preferences_dialog.h"
#include "ui/window/main_window.h"

namespace kov {

void RegisterPreferencesCommands(MainWindow& window, Application& app) {
    window.SetCommandHandler(kCmdPreferences, [&window, &app] {
        PreferencesSetup setup;
        setup.settings = &app.Settings();
        setup.rules = app.Rules().get();
        setup.settingsFile = app.Paths().settingsFile;
        setup.bannerFile = app.Paths().bannerFile;
        setup.siteFile = app.Paths().siteRuleFile;
        setup.context.languageChoices = LanguageChoices(app.LanguageFolders());
        // The jobs of a running session read the rules without a lock.
        setup.context.rulesLocked = window.Session().State() != SessionState::Idle;
        setup.context.trafficCount = [] { return GlobalTrafficMeter().TrafficCount(); };
        setup.context.resetTraffic = [&app] { return app.ResetLimitCounter(); };
        PreferencesDialog dialog(std::move(setup), &window);
        if (dialog.exec() == QDialog::Accepted) window.SettingsApplied();
    });
}

}  // namespace kov
