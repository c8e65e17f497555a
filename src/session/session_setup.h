#pragma once

#include <functional>
#include <memory>

#include "session/session_controller.h"

namespace kov {

class Application;

// The hooks every front end's sessions get: the sounds, the traffic counter written to the
// user store after each session, and endAction as the end-of-session action (close the program,
// or with shutdown true save everything and power the computer off).
SessionHooks StandardSessionHooks(Application& app, std::function<void(bool shutdown)> endAction);

// The environment of a session's jobs: the banner and site rules loaded at start-up. (The
// session controller adds its mailer of job results for items that came by e-mail.)
std::shared_ptr<JobEnvironment> StandardJobEnvironment(const Application& app);

}  // namespace kov
