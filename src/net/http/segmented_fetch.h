#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/http/inet.h"
#include "net/transfer/segment_plan.h"
#include "net/transfer/segment_state_file.h"
#include "net/transfer/traffic_meter.h"
#include "net/transfer/transfer_job.h"

namespace kov {

// One file over several connections at once. Each connection asks for a range with If-Range
// and the file's validator, so that a file changed on the server is never mixed with the old
// one, and writes it in place; an idle connection takes over half of the largest rest, or the
// whole rest of a slow one. The progress stays in a state file beside the file until it is
// complete. The job's thread drives every connection over one multi handle and reports the
// progress as one file. (A thread per connection was slower against servers that pace each
// connection, such as nginx with limit_rate: the threads took the server's core.)
class SegmentedFetch {
public:
    // Below this a file is fetched over one connection.
    static constexpr std::int64_t kMinSegment = 4 << 20;

    struct Target {
        std::string url;
        std::string localPath;
        std::int64_t size = 0;
        std::string validator;  // sent as If-Range
        int connections = 1;
    };
    // A new, unsent request for the file.
    using Opener = std::function<std::unique_ptr<HttpRequest>()>;

    SegmentedFetch(TransferJob& job, Target target);
    ~SegmentedFetch();
    SegmentedFetch(const SegmentedFetch&) = delete;
    SegmentedFetch& operator=(const SegmentedFetch&) = delete;

    // The stop flag the requests of Opener are to watch: the job's, and set when the file is
    // complete so that connections still waiting end.
    const std::atomic<int>* StopFlag() const { return &m_stop; }

    // Fetches what missing names (everything when nullptr). kResultOk; kResultPartChanged when
    // the server's file is not the one of the validator (the file and state are left to the
    // caller); else the result that ended it, with the state kept for a resume.
    int Run(Opener open, const SegmentPlan::Ranges* missing);

    // How often a connection took over another's rest.
    int Steals() const { return m_steals; }
    // Bytes fetched by this run.
    std::int64_t Fetched() const { return m_reported - m_startDone; }

private:
    // One connection of the fetch: the range it is on while it has a request.
    struct Connection {
        std::unique_ptr<HttpRequest> request;
        std::size_t index = 0;
        std::int64_t from = 0;       // the first byte asked for
        bool answered = false;       // the response is checked; its body comes
        bool authenticated = false;  // sent again with the proxy's credentials
        bool progressed = false;     // bytes of the range arrived
        int failures = 0;
        std::int64_t idleUntil = 0;  // no new range before (ms)
        bool ended = false;          // takes no range any more
    };

    void Drive();
    bool Step(Connection& c, std::vector<char>& buffer, std::int64_t now);
    bool Begin(Connection& c, std::int64_t now);
    int Answered(Connection& c);
    int Receive(Connection& c, std::vector<char>& buffer, bool& moved);
    void Leave(Connection& c, int result, std::int64_t now);
    int CheckResponse(HttpRequest& request, std::int64_t from);
    int WriteBlock(std::size_t index, const char* data, std::int64_t count, bool& ended);
    void Failed(int result, std::string_view text);
    bool Stopping();
    int BrokenOrStopped() const;
    void Tick();
    void Report();
    bool SaveState();
    int OpenFile(bool fresh);
    int Outcome();

    TransferJob& m_job;
    Target m_target;
    Opener m_open;
    SleepFn m_meterWait;
    std::atomic<int> m_stop{0};

    SegmentPlan m_plan;
    std::vector<Connection> m_connections;
    int m_fatal = kResultOk;        // ends every connection
    int m_lastFailure = kResultOk;  // of a connection that gave up
    std::string m_errorText;
    int m_steals = 0;

    int m_fd = -1;
    std::chrono::steady_clock::time_point m_reportedAt, m_savedAt;
    std::int64_t m_reported = 0;
    std::int64_t m_startDone = 0;
};

// What If-Range is to name of a response: its strong ETag, else its Last-Modified date; empty
// when it has neither.
std::string RangeValidator(std::string_view rawHeaders);

}  // namespace kov
