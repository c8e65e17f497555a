#include "session/session_setup.h"

#include <string>

#include "platform/sound_player.h"
#include "session/application.h"

namespace kov {

SessionHooks StandardSessionHooks(Application& app, std::function<void(bool shutdown)> endAction) {
    SessionHooks hooks;
    const AppSettings& settings = app.Settings();
    hooks.playSound = [&settings](int sound) {
        if (!settings.UseSound) return;
        const std::string* files[] = {&settings.SoundStart, &settings.SoundEnd, &settings.SoundErr1,
                                      &settings.SoundErr2};
        PlaySoundFile(*files[sound >= 0 && sound <= 3 ? sound : 3]);
    };
    hooks.endOfSessionAction = std::move(endAction);
    // The traffic counter goes to the user store at the end of each session, not only at
    // exit; a failure has been reported to the user by then.
    hooks.saveLimitCounter = [&app] {
        app.TakeTrafficCount();
        app.WriteLimitCounter();
    };
    return hooks;
}

std::shared_ptr<JobEnvironment> StandardJobEnvironment(const Application& app) {
    auto env = std::make_shared<JobEnvironment>();
    env->rules = app.Rules();
    // Items that came by e-mail mail their results back to the sender: the session controller
    // gives its own mailer.
    return env;
}

}  // namespace kov
