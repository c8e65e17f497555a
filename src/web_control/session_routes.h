#pragma once

#include <string>

#include "web_control/api_scope.h"

namespace kov {

enum class SessionState : int;

// The routes of the session and its status; each runs on the main loop's thread.
// POST /session/start {"ids"?: [...]}: the due items, or only these → 202 {"session": state}.
ApiResponse StartSession(ApiScope& scope);
// POST /session/stop {"now"?: bool} → 202 {"session": state}.
ApiResponse StopSession(ApiScope& scope);
// What GET /status answers: session, list, jobs, totals, traffic, queue.
std::string StatusText(const AppSettings& settings, const ListDocument& document,
                       SessionController& session, const ItemWatch& watch);

// "idle", "connecting", "running" or "stopping".
const char* SessionStateName(SessionState state);

}  // namespace kov
