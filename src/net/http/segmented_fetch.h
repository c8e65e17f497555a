#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "net/http/inet.h"
#include "net/transfer/segment_plan.h"
#include "net/transfer/segment_state_file.h"
#include "net/transfer/transfer_job.h"

namespace kov {

// One file over several connections at once. Each connection asks for a range with If-Range
// and the file's validator, so that a file changed on the server is never mixed with the old
// one, and writes it in place; an idle connection takes over half of the largest rest, or the
// whole rest of a slow one. The progress stays in a state file beside the file until it is
// complete. The job's thread reports the progress as one file.
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
    // A new, unsent request for the file; called by one connection at a time.
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
    void Work();
    int FetchRange(std::size_t index, std::vector<char>& buffer);
    std::unique_ptr<HttpRequest> Send(std::int64_t from, std::int64_t end, int& result);
    int CheckResponse(HttpRequest& request, std::int64_t from);
    int Receive(HttpRequest& request, std::size_t index, std::vector<char>& buffer);
    int WriteBlock(std::size_t index, const char* data, std::int64_t count, bool& ended);
    void Failed(int result, std::string_view text);
    void Watch();
    void Report();
    bool SaveState();
    int OpenFile(bool fresh);
    int Outcome();

    TransferJob& m_job;
    Target m_target;
    Opener m_open;
    std::mutex m_openMutex;
    std::atomic<int> m_stop{0};

    std::mutex m_mutex;  // guards what follows
    std::condition_variable m_changed;
    SegmentPlan m_plan;
    int m_running = 0;
    int m_fatal = kResultOk;        // ends every connection
    int m_lastFailure = kResultOk;  // of a connection that gave up
    std::string m_errorText;
    int m_steals = 0;

    int m_fd = -1;
    std::int64_t m_reported = 0;
    std::int64_t m_startDone = 0;
};

// What If-Range is to name of a response: its strong ETag, else its Last-Modified date; empty
// when it has neither.
std::string RangeValidator(std::string_view rawHeaders);

}  // namespace kov
