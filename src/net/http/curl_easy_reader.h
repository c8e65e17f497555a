#pragma once

// One libcurl transfer driven through a multi handle, so that the body is pulled by Read()
// instead of pushed by callbacks. A transfer that shares the session's connections uses the
// multi handle of its thread (kept across transfers); other transfers of the thread alive at the
// same time move on while it waits, and HTTP/2 lets them share one connection.

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "net/http/curl_session_config.h"

namespace kov {

class CurlEasyReader {
public:
    // Takes the idle time, the stop flag and the shared connections of the session.
    explicit CurlEasyReader(const CurlSessionConfig& config);
    ~CurlEasyReader();
    CurlEasyReader(const CurlEasyReader&) = delete;
    CurlEasyReader& operator=(const CurlEasyReader&) = delete;

    bool Valid() const { return m_easy != nullptr && m_multi != nullptr; }
    // The handle to set request options on; the callbacks are already set.
    CURL* Easy() const { return m_easy; }
    // Whether libcurl follows redirects, so that their header blocks are skipped.
    void SetFollowsRedirects(bool follows) { m_follows = follows; }
    // Whether libcurl decodes a compressed body, so that the headers describing the encoded
    // bytes are left out of RawHeaders().
    void SetDecodes(bool decodes) { m_decodes = decodes; }

    enum class OpenUntil { Headers, HeadersOrData };
    // Starts the transfer anew (an unfinished one is dropped) and drives it until the final
    // response's headers are complete (or, with HeadersOrData, until body data arrives) or it
    // ends. False when it failed.
    bool Open(OpenUntil until);
    // Starts the transfer anew without driving it: the loop of a TransferScope does.
    bool Start();
    // As HttpRequest::Read.
    long Read(char* buffer, std::size_t count);
    // What has arrived, without driving the transfer: as Read, or kReadLater when nothing has
    // yet. A transfer left waiting too long, stopped or overdue fails here.
    long ReadNoWait(char* buffer, std::size_t count);
    // For a transfer another loop drives and that has nothing for its caller yet: the checks of a
    // wait (stop, deadline, the server's rate). False when the transfer failed by them.
    bool CheckWhileWaiting();
    // Whether the transfer ended (its body may still be buffered).
    bool Ended() const { return m_finished; }
    // Hands each ended transfer of the multi handle to its reader.
    static void DispatchMessages(CURLM* multi);

    // The status of the final response, 0 before one arrived.
    int StatusCode() const { return m_status; }
    bool HeadersComplete() const { return m_headersDone; }
    const std::string& RawHeaders() const { return m_rawHeaders; }
    std::string EffectiveUrl() const;
    const std::string& ErrorText() const { return m_errorText; }
    int ErrorCode() const { return m_errorCode; }
    // Takes the list and sets it as the request headers (nullptr: none).
    void SetRequestHeaders(curl_slist* list);
    // Records a failure that happened outside libcurl (bad input, offline).
    void SetError(int code, std::string text);

private:
    static std::size_t OnWrite(char* data, std::size_t size, std::size_t count, void* self);
    static std::size_t OnHeader(char* data, std::size_t size, std::size_t count, void* self);
    void HeaderLine(const char* data, std::size_t length);
    void Append(const char* data, std::size_t length);
    template <class Done>
    bool Drive(Done done);
    // Read (wait) or ReadNoWait.
    long Take(char* buffer, std::size_t count, bool wait);
    // Lets libcurl go on with a transfer this reader paused; false when it failed.
    bool Unpause();
    // The deadline and the server's rate; false when the transfer failed by them.
    bool WithinLimits(std::chrono::steady_clock::time_point now);
    void Finish(CURLcode result);
    void Detach();
    std::size_t Buffered() const { return m_bufferEnd - m_bufferStart; }

    bool StopRequested() const { return m_stopFlag != nullptr && m_stopFlag->load() >= 2; }
    // False when the server sent less than one byte per second of waiting over the idle time.
    bool ServerKeepsUp();

    CURL* m_easy = nullptr;
    CURLM* m_multi = nullptr;
    bool m_ownsMulti = false;
    std::chrono::milliseconds m_idle;
    const std::atomic<std::int64_t>* m_deadline = nullptr;
    const std::atomic<int>* m_stopFlag = nullptr;
    std::shared_ptr<SharedConnections> m_shared;  // outlives the easy handle
    bool m_follows = true;
    bool m_decodes = false;
    bool m_attached = false;  // the easy handle is in the multi handle
    bool m_finished = false;
    bool m_paused = false;
    bool m_failed = false;
    char m_curlError[CURL_ERROR_SIZE] = {};
    curl_slist* m_requestHeaders = nullptr;

    // Body bytes that arrived before the caller asked for them.
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_bufferCapacity = 0;
    std::size_t m_bufferStart = 0;
    std::size_t m_bufferEnd = 0;
    // The caller's buffer while Read waits: bytes go there first, saving a copy.
    char* m_direct = nullptr;
    std::size_t m_directCapacity = 0;
    std::size_t m_directLength = 0;
    // The rate check: time spent waiting for the server and what arrived meanwhile.
    std::chrono::steady_clock::duration m_waited{};
    // The last ReadNoWait or CheckWhileWaiting that found nothing; the epoch after data came.
    std::chrono::steady_clock::time_point m_lastLook{};
    std::uint64_t m_windowBytes = 0;

    // The header block being received and the last final one.
    std::string m_pendingHeaders;
    bool m_inHeaderBlock = false;
    bool m_pendingHasLocation = false;
    bool m_headersDone = false;
    std::string m_rawHeaders;
    int m_status = 0;

    std::string m_errorText;
    int m_errorCode = 0;
};

}  // namespace kov
