#pragma once

#include <cstdint>
#include <string>

#include "core/event_codes.h"
#include "model/list_model.h"

namespace kov {

// What a job tells the main thread. Texts of 400 bytes or more are dropped, not cut.
struct JobEvent {
    static constexpr std::size_t kTextLimit = 400;

    int code = 0;
    RowId ownerKey = 0;  // the row the job was made for
    std::uint64_t jobId = 0;
    std::int64_t param1 = 0;
    std::int64_t param2 = 0;
    int internet = 0;  // 1 when the job is not local
    int linkIndex = 0;
    int linkCount = 0;
    std::string text1;
    std::string text2;
    // Why a file result or an error event failed (a status and reason, the client's or the
    // system's error text, an FTP reply): short, printable, empty when not known.
    std::string cause;
};

// Where jobs post their events; the session controller hands them to the main loop. Called on
// worker threads.
class JobEventSink {
public:
    virtual ~JobEventSink() = default;
    virtual void Post(JobEvent event) = 0;
};

}  // namespace kov
