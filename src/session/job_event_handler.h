#pragma once

#include "engine/job_event.h"
#include "session/session_state.h"

namespace kov {

// What the caller has to do after an event.
enum class EventOutcome {
    None,
    Recount,  // a job changed its state: recount the running and queued rows, maybe end
};

// Applies one job event on the main thread: the row's columns, image and progress fields, the
// session totals and the log line. An event whose row is gone changes no row; only its bytes
// (504) and a mail notice (513) still count. Codes without a meaning here are ignored.
EventOutcome HandleJobEvent(const JobEvent& event, EventContext& context);

}  // namespace kov
