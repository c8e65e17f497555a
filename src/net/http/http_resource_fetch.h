#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "model/url_parts.h"
#include "net/http/inet.h"
#include "net/http/kept_validators.h"
#include "net/http/response_headers.h"
#include "net/http/stub_scanner.h"
#include "net/transfer/fetch_plan.h"
#include "net/transfer/resource_info.h"
#include "net/transfer/segment_state_file.h"
#include "net/transfer/transfer_job.h"
#include "net/transfer/transfer_pump.h"

namespace kov {

// One HTTP fetch of FetchHttp, step by step: send (following redirects), read the response,
// plan from it, then receive the body or let it go.
class HttpResourceFetch : private TransferPump::Source {
public:
    HttpResourceFetch(const std::string& url, std::string& localPath, int conType, int nfsize,
                      const std::string& nfString, TransferJob& job);

    int Run();
    const ResourceInfo& Info() const { return m_info; }
    std::uint64_t Received() const { return m_received; }
    const std::string& CurrentUrl() const { return m_current; }

private:
    int SendFollowingRedirects();
    int SendOne(const UrlParts& parts);
    std::string LocalPathForHop(bool redirected) const;
    void PlanRequest();
    void Prepare();
    int Request(int attempt);
    std::string RequestHeaders() const;
    bool CopyIsFinal(const KeptValidators& kept) const;
    int AskAgain(std::string path, bool whole);
    int PlanFromResponse();
    int AcceptBody(int attempt);
    int ReadResponse();
    int CheckContent() const;
    bool ResponseFitsPlan();
    bool OverlapMatches();
    void LogResource();
    int ReceiveBody();
    int OpenLocalFile(int& fd);
    int ReadBlocks(int fd);
    long Read(char* buffer, std::size_t count) override;
    int Check(const char* data, std::size_t count) override;
    void Written(std::size_t count) override;
    int CheckBounds(int fd, std::size_t adding);
    void MoveDeadline();
    int CheckDeliveredPage();
    void DrainOrClose();
    int Finish(int result);
    std::optional<std::time_t> ServerTime() const;
    void StampServerTime();
    // The time the open file now carries, when it got the server's.
    std::optional<std::time_t> StampServerTime(int fd);
    KeptValidators Delivered() const;
    // Keeps the validators on the open file, or with fd -1 on the one at m_localPath.
    bool KeepDelivered(int fd) const;
    // The same for the open file that this fetch created and wrote size bytes into, and that
    // carries the given time.
    bool KeepDelivered(int fd, std::time_t time, std::int64_t size) const;
    bool SegmentsAllowed();
    bool ResumesSegments();
    int RunSegments();
    int Deliver(int answer);
    std::unique_ptr<HttpConnection> Connect(const UrlParts& parts);

    const std::string& m_url;
    std::string& m_localPath;
    int m_conType;
    int m_nfsize;
    const std::string& m_nfString;
    TransferJob& m_job;

    std::string m_current;     // the URL of the request on the way
    std::string m_pinnedPath;  // a server-given name, known from an earlier response
    struct Origin {
        std::string scheme;
        std::string host;
        int port = 0;
        bool operator==(const Origin&) const = default;
    };
    static Origin OriginOf(const UrlParts& parts);

    std::optional<Origin> m_origin;  // where the credentials may go
    std::unique_ptr<HttpConnection> m_connection;
    std::unique_ptr<HttpRequest> m_request;
    int m_status = 0;
    LocalFileState m_local;
    std::string m_localLooked;  // the path m_local was taken from, "" when it may be stale
    std::optional<KeptValidators> m_validators;  // sent with the request, when any
    KeptValidators m_delivered;                  // of the response being received
    bool m_kept = false;                         // they were kept (or tried) on the open file
    Rewrite m_rewrite = Rewrite::None;           // what the job does to the file afterwards
    std::int64_t m_askedFrom = -1;               // the range asked for, -1 none
    bool m_noRange = false;                      // the server refused the range of the local copy
    std::int64_t m_bodyLength = -1;              // the response's Content-Length, -1 none
    ResourceInfo m_info;
    std::optional<ContentRange> m_range;
    FetchPlan m_plan;
    bool m_overlap = false;         // the body starts with the last byte we hold
    std::int64_t m_writeFrom = 0;   // where the body goes in the local file
    bool m_created = false;         // the local file was made by this fetch's open
    std::int64_t m_remaining = -1;  // body bytes still expected, -1 unknown
    std::uint64_t m_received = 0;
    std::uint64_t m_nextSpaceCheck = 0;  // m_received at which the disk is looked at again
    std::chrono::steady_clock::time_point m_start{};
    std::atomic<std::int64_t> m_deadline{0};  // steady clock nanoseconds; 0 none
    bool m_stub = false;
    int m_fd = -1;  // the local file while the body comes
    StubScanner m_scanner{std::string()};
    bool m_noSegments = false;             // one connection, whatever the file
    std::optional<SegmentState> m_resume;  // the state of an earlier segmented run to go on
    std::string m_validator;               // of the response, for If-Range of the segments
};

}  // namespace kov
