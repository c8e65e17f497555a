#include "commands/session_frame.h"

#include "session/application.h"
#include "session/session_setup.h"

namespace kov::cli {

SessionFrame::SessionFrame(Application& app, EventLogListener& printer)
    : log(app.Settings(), app.LogFile()),
      printer(printer),
      traffic(app),
      env(StandardJobEnvironment(app)) {
    log.AddListener(&printer);
}

SessionFrame::~SessionFrame() {
    log.RemoveListener(&printer);
}

}  // namespace kov::cli
