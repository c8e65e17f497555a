#pragma once

#include "web_control/api_scope.h"

namespace kov {

enum class SessionState : int;

// The routes of the session and its status; each runs on the main loop's thread.
// POST /session/start {"ids"?: [...]}: the due items, or only these → 202 {"session": state}.
ApiResponse StartSession(ApiScope& scope);
// POST /session/stop {"now"?: bool} → 202 {"session": state}.
ApiResponse StopSession(ApiScope& scope);
// GET /status → session, list, jobs, totals, traffic, queue.
ApiResponse GetStatus(ApiScope& scope);

// "idle", "connecting", "running" or "stopping".
const char* SessionStateName(SessionState state);

}  // namespace kov
