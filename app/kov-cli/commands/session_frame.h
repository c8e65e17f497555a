#pragma once

#include <memory>

#include "core/event_loop.h"
#include "session/event_log.h"
#include "session/session_controller.h"
#include "session/traffic_count_scope.h"

namespace kov {
class Application;
}

namespace kov::cli {

// What every kov-cli session runs in: its loop, the log (to Kov.log, and to printer while the
// frame lives), the traffic counter counting on from the saved one, and the jobs' environment.
struct SessionFrame {
    SessionFrame(Application& app, EventLogListener& printer);
    ~SessionFrame();
    SessionFrame(const SessionFrame&) = delete;
    SessionFrame& operator=(const SessionFrame&) = delete;

    EventLoop loop;
    EventLog log;
    EventLogListener& printer;
    TrafficCountScope traffic;
    std::shared_ptr<JobEnvironment> env;
};

}  // namespace kov::cli
