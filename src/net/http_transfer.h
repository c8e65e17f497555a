#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "net/inet.h"
#include "net/resource_info.h"
#include "net/transfer_events.h"

namespace kov {

class Prompter;
class TrafficMeter;

// What a transfer needs of its download job. The job owns the session and the buffer and reads
// the outputs (lastError, errorText) afterwards.
struct HttpFetchJob {
    static constexpr std::size_t kBufferSize = 65536;

    InternetSession* session = nullptr;
    TransferSink* sink = nullptr;
    TrafficMeter* meter = nullptr;                  // nullptr: the process-wide meter
    const std::atomic<int>* stopRequest = nullptr;  // 2 or more: stop at once
    // True when the traffic limit is reached (not asked for local jobs).
    std::function<bool()> limitReached;
    // True when a URL holds a banned word.
    std::function<bool(std::string_view url)> banned;
    Prompter* prompter = nullptr;  // open-by-URL failures are shown to the user

    bool isLocal = false;
    bool noCache = false;
    bool enableHttps = true;
    int logDetail = 0;
    int updateMode = 0;
    bool destIsFile = false;
    std::string urlFileName;      // name part of the current URL
    std::string expandedReferer;  // sent when not empty
    std::string userName;
    std::string userPsw;
    std::string proxyUser;
    std::string proxyPsw;

    // A distributed part (active with a file size and a part number).
    bool distributed = false;
    std::int64_t fileSize = 0;
    std::int32_t partCount = 2;
    std::int64_t partSize = 0;
    std::int32_t partNo = 1;

    // Outputs.
    int lastError = 0;      // last HTTP status, pseudo status or system error
    std::string errorText;  // the client's text for a pseudo status
    // The transfer buffer, allocated by the first transfer (a queued job holds none).
    std::vector<char> buffer;
};

// Opens a GET request on the connection and sends it; with rangeStart above 0 asks for the rest
// from there (only if the resource still has the date ifRange, when that is not empty).
// nullptr with status kStatusClientError and the job's errorText when the client failed;
// otherwise status is the HTTP status.
std::unique_ptr<HttpRequest> OpenHttpRequest(HttpConnection& connection, const std::string& object,
                                             HttpFetchJob& job, int& status,
                                             std::uint64_t rangeStart = 0,
                                             const std::string& ifRange = {});

// Fetches one HTTP resource into localPath (which may change: a server-given file name, a
// redirect target's name, a distributed part's suffix). info, when given and holding a probe,
// is used instead of the response's headers; on return its size is the bytes received.
// Returns a file result; every outcome is also posted as event 506.
int FetchHttp(const std::string& url, std::string& localPath, int conType, int nfsize,
              const std::string& nfString, ResourceInfo* info, HttpFetchJob& job);

// Fetches any URL the client can open (FTP through a proxy, file://) into localPath.
int FetchByUrl(const std::string& url, const std::string& localPath, HttpFetchJob& job,
               const std::string& userAgent);

}  // namespace kov
