#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <string>

#include "core/settings/app_settings.h"
#include "model/list_model.h"

namespace kov {

class EventLog;

// The states of a download session.
enum class SessionState : int {
    Idle = 0,
    Connecting = 1,
    ConnectFailed = 3,
    Downloading = 5,
    Stopping = 6,
    Finishing = 7,
};

// Statistics of the running session, reset at its start.
struct SessionStats {
    double sessionBytes = 0;    // received in this session
    double sessionSeconds = 0;  // grows by 0.25 per progress tick
    std::chrono::steady_clock::time_point started{};
    std::uint32_t averageSpeed = 0;  // over the real time since started
    std::uint32_t currentSpeed = 0;
};

// Log images.
enum LogImage : int {
    kLogInfo = 0,
    kLogSuccess = 2,
    kLogInternalError = 4,
    kLogSessionStart = 5,
    kLogStopped = 6,
    kLogHalt = 7,
    kLogDeleted = 8,
    kLogConnectionClosed = 9,
    kLogError = 10,
    kLogResumed = 11,
    kLogMail = 12,
};

// Sounds the session plays.
enum SessionSound : int { kSoundStart = 0, kSoundEnd = 1, kSoundError1 = 2, kSoundError2 = 3 };

// What the handling of a job event may read and change; all of it lives on the main thread.
struct EventContext {
    ListModel* rows = nullptr;
    EventLog* log = nullptr;
    const AppSettings* settings = nullptr;
    SessionStats* stats = nullptr;
    std::function<void(int sound)> playSound;  // may be empty
    std::function<std::time_t()> now;          // empty: the system clock
    // The row open in the item editor, if any (a once-only item there is disabled, never
    // deleted); empty: none.
    std::function<RowId()> editedRow;
    // A row was marked failed: what failed and the cause the job knew ("" when none); may be
    // empty.
    std::function<void(RowId id, const std::string& text, const std::string& cause)> rowFailed;
};

}  // namespace kov
