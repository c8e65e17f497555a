#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "net/transfer/fetch_plan.h"
#include "net/transfer/transfer_events.h"

namespace kov {

class InternetSession;
class Prompter;
class TrafficMeter;

// Which bound of a TransferJob ended a fetch.
enum class FetchBound { None, Redirect, Size, Disk, Time };

// What a transfer (HTTP, FTP, open-by-URL) needs of its download job. The job owns the session
// and the buffer and reads the outputs (lastError, errorText) afterwards.
struct TransferJob {
    static constexpr std::size_t kBufferSize = 65536;

    InternetSession* session = nullptr;
    TransferSink* sink = nullptr;
    TrafficMeter* meter = nullptr;                  // nullptr: the process-wide meter
    const std::atomic<int>* stopRequest = nullptr;  // 2 or more: stop at once
    // True when the traffic limit is reached (not asked for local jobs).
    std::function<bool()> limitReached;
    // True when a URL holds a banned word.
    std::function<bool(std::string_view url)> banned;
    // What the job does to the file once delivered, by the URL it came from, where it is saved
    // and whether it is an HTML page; empty: nothing.
    std::function<Rewrite(const std::string& url, const std::string& localPath, bool html)>
        rewriteOf;
    Prompter* prompter = nullptr;  // open-by-URL failures are shown to the user

    bool isLocal = false;
    bool noCache = false;
    bool enableHttps = true;
    int logDetail = 0;
    int updateMode = 0;
    bool destIsFile = false;
    // Asks "changed since?" for a complete local copy that kept its validators; a 304 then
    // ends the fetch as skipped (ResourceInfo::status 304).
    bool conditional = true;
    std::string urlFileName;      // name part of the URL; a redirect target's after a redirect
    std::string expandedReferer;  // sent when not empty
    std::string userName;
    std::string userPsw;
    std::string proxyUser;
    std::string proxyPsw;

    // A distributed part (active with a file size and a part number). 64 bits, so that stored
    // values near the limits of the list file cannot overflow the range arithmetic.
    bool distributed = false;
    std::int64_t fileSize = 0;
    std::int64_t partCount = 2;
    std::int64_t partSize = 0;
    std::int64_t partNo = 1;

    // Connections one large file may be fetched over at once (1: one, as a resource of a page).
    int connections = 1;

    // Bounds for resources fetched on a page's behalf; each is off when left as it is.
    // A redirect is followed only to where redirectAllowed lets it go.
    std::function<bool(const std::string& url)> redirectAllowed;
    std::int64_t maxBytes = 0;       // a larger body is stopped and its file removed
    std::uint64_t minFreeBytes = 0;  // less free space on the disk: stopped and removed
    // The whole fetch within this time plus a second for every kMinRate bytes that came
    // (0: no bound besides the idle time-out).
    std::chrono::milliseconds timeAllowed{0};
    static constexpr std::uint64_t kMinRate = 8192;
    // A rip's resources: one asked for whole (no Range) may come compressed; it is saved decoded.
    bool acceptCompressed = false;

    // Outputs.
    FetchBound boundHit = FetchBound::None;  // the bound that ended the last fetch
    int lastError = 0;                       // last HTTP status, pseudo status or system error
    std::string errorText;                   // the client's text for a pseudo status
    // The transfer buffer, allocated by the first transfer (a queued job holds none).
    std::vector<char> buffer;
};

}  // namespace kov
