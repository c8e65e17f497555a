#include "net/http/curl_easy_reader.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <utility>

#include "core/text/text_util.h"
#include "net/http/inet.h"
#include "net/http/thread_multi.h"

namespace kov {

namespace {

static_assert(kErrorTooSlow == CURLE_OPERATION_TIMEDOUT);

// Body bytes held for a slow reader before libcurl is paused (TCP then slows the server).
constexpr std::size_t kBufferBound = 256 * 1024;
// libcurl's receive buffer; large blocks keep the per-call overhead down.
constexpr long kReceiveBufferSize = 256 * 1024;
// The longest single wait, so that a stop request and the rate check are seen in time.
constexpr int kMaxPollMs = 200;

int StatusOfLine(std::string_view line) {
    // "HTTP/1.1 200 OK" or "HTTP/2 200"
    std::size_t space = line.find(' ');
    if (space == std::string_view::npos) return 0;
    int status = 0;
    std::size_t digits = 0;
    for (std::size_t i = space + 1; i < line.size() && digits < 3; ++i, ++digits) {
        if (line[i] < '0' || line[i] > '9') break;
        status = status * 10 + (line[i] - '0');
    }
    return digits == 3 ? status : 0;
}

bool IsHeader(std::string_view line, std::string_view name) {
    return line.size() > name.size() && line[name.size()] == ':' && IStartsWith(line, name);
}

// A decoded body is no longer what the server's length and encoding describe.
void DropEncodingHeaders(std::string& block) {
    std::string kept;
    bool encoded = false;
    for (std::size_t start = 0; start < block.size();) {
        std::size_t end = block.find("\r\n", start);
        if (end == std::string::npos) end = block.size();
        const std::string_view line(block.data() + start, end - start);
        start = end + 2;
        if (IsHeader(line, "content-encoding")) {
            encoded = true;
            continue;
        }
        if (IsHeader(line, "content-length")) continue;
        kept.append(line);
        kept += "\r\n";
    }
    if (encoded) block = std::move(kept);
}

// The handle of a transfer that ended, kept for the thread's next one: making and freeing one
// per request shows with many small files. Kept with libcurl's defaults and out of any share,
// so nothing of the earlier transfer (credentials, headers, callbacks, session) goes along.
class SpareEasy {
public:
    SpareEasy() = default;
    ~SpareEasy() {
        if (m_easy != nullptr) curl_easy_cleanup(m_easy);
    }
    SpareEasy(const SpareEasy&) = delete;
    SpareEasy& operator=(const SpareEasy&) = delete;

    CURL* Take() {
        CURL* easy = std::exchange(m_easy, nullptr);
        return easy != nullptr ? easy : curl_easy_init();
    }
    void Give(CURL* easy) {
        if (m_easy != nullptr) {
            curl_easy_cleanup(easy);
            return;
        }
        curl_easy_setopt(easy, CURLOPT_SHARE, nullptr);
        curl_easy_reset(easy);
        m_easy = easy;
    }

private:
    CURL* m_easy = nullptr;
};

thread_local SpareEasy t_spareEasy;

// The body buffer of a reader that ended, kept for the thread's next reader: a page that
// arrives with its headers is held there until it is read, and a buffer of that size freshly
// taken from the system has to be mapped and cleared page by page on every request (a fifth of
// the CPU time of a site's mirror).
class SpareBuffer {
public:
    // A buffer of at least the capacity, kept or new.
    std::unique_ptr<char[]> Take(std::size_t& capacity) {
        if (m_capacity >= capacity) {
            capacity = std::exchange(m_capacity, 0);
            return std::move(m_buffer);
        }
        return std::make_unique_for_overwrite<char[]>(capacity);
    }
    void Give(std::unique_ptr<char[]> buffer, std::size_t capacity) {
        if (buffer == nullptr || capacity <= m_capacity || capacity > kKeptBound) return;
        m_buffer = std::move(buffer);
        m_capacity = capacity;
    }

private:
    static constexpr std::size_t kKeptBound = 4 * kBufferBound;
    std::unique_ptr<char[]> m_buffer;
    std::size_t m_capacity = 0;
};

thread_local SpareBuffer t_spareBuffer;

}  // namespace

CurlEasyReader::CurlEasyReader(const CurlSessionConfig& config)
    : m_idle(config.timeouts.idle),
      m_deadline(config.deadline),
      m_stopFlag(config.stopFlag),
      m_shared(config.shared) {
    m_easy = t_spareEasy.Take();
    // A transfer of its own connects on its own: a multi handle of its own keeps it apart.
    // In a scope, the scope's handle keeps the transfers of its loop apart from the others.
    CURLM* scoped = ScopedMultiHandle();
    m_ownsMulti = scoped == nullptr && !m_shared;
    m_multi = scoped != nullptr ? scoped : m_ownsMulti ? curl_multi_init() : ThreadMultiHandle();
    if (!Valid()) return;
    if (m_shared) curl_easy_setopt(m_easy, CURLOPT_SHARE, m_shared->Handle());
    // The multi handle may drive other transfers of this thread: its messages are told apart.
    curl_easy_setopt(m_easy, CURLOPT_PRIVATE, this);
    curl_easy_setopt(m_easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(m_easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(m_easy, CURLOPT_ERRORBUFFER, m_curlError);
    curl_easy_setopt(m_easy, CURLOPT_WRITEFUNCTION, &CurlEasyReader::OnWrite);
    curl_easy_setopt(m_easy, CURLOPT_WRITEDATA, this);
    curl_easy_setopt(m_easy, CURLOPT_HEADERFUNCTION, &CurlEasyReader::OnHeader);
    curl_easy_setopt(m_easy, CURLOPT_HEADERDATA, this);
    // A proxy's CONNECT reply is not the server's response.
    curl_easy_setopt(m_easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    // HTTP/2 where a TLS server offers it. Transfers of this thread alive at once share such a
    // connection; libcurl multiplexes only within one multi handle. No CURLOPT_PIPEWAIT: a
    // transfer waiting for a connection that another thread's multi handle is opening would
    // never be woken.
    curl_easy_setopt(m_easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_2TLS));
}

CurlEasyReader::~CurlEasyReader() {
    Detach();
    if (m_ownsMulti && m_multi != nullptr) curl_multi_cleanup(m_multi);
    if (m_easy != nullptr) t_spareEasy.Give(m_easy);
    t_spareBuffer.Give(std::move(m_buffer), m_bufferCapacity);
    curl_slist_free_all(m_requestHeaders);
}

void CurlEasyReader::SetRequestHeaders(curl_slist* list) {
    // libcurl reads the list while the transfer runs, so the old one goes only now.
    if (m_easy != nullptr) curl_easy_setopt(m_easy, CURLOPT_HTTPHEADER, list);
    curl_slist_free_all(m_requestHeaders);
    m_requestHeaders = list;
}

void CurlEasyReader::Detach() {
    if (m_attached) curl_multi_remove_handle(m_multi, m_easy);
    m_attached = false;
}

void CurlEasyReader::SetError(int code, std::string text) {
    m_failed = true;
    m_finished = true;
    m_errorCode = code;
    m_errorText = std::move(text);
}

void CurlEasyReader::Finish(CURLcode result) {
    Detach();
    m_finished = true;
    if (result == CURLE_OK) return;
    m_failed = true;
    m_errorCode = result;
    m_errorText = m_curlError[0] != '\0' ? m_curlError : curl_easy_strerror(result);
    // The system's reason ("Connection refused") says more than "Couldn't connect to server".
    long osError = 0;
    if (curl_easy_getinfo(m_easy, CURLINFO_OS_ERRNO, &osError) == CURLE_OK && osError != 0) {
        const std::string reason = std::strerror(static_cast<int>(osError));
        if (m_errorText.find(reason) == std::string::npos) m_errorText += ": " + reason;
    }
}

bool CurlEasyReader::Open(OpenUntil until) {
    if (!Start()) return false;
    bool orData = until == OpenUntil::HeadersOrData;
    return Drive([&] { return m_headersDone || (orData && Buffered() > 0); });
}

bool CurlEasyReader::Start() {
    if (!Valid()) {
        SetError(CURLE_FAILED_INIT, "libcurl could not create a transfer");
        return false;
    }
    Detach();
    m_finished = m_failed = m_paused = false;
    m_bufferStart = m_bufferEnd = 0;
    m_pendingHeaders.clear();
    m_inHeaderBlock = m_pendingHasLocation = m_headersDone = false;
    m_rawHeaders.clear();
    m_status = 0;
    m_waited = {};
    m_lastLook = {};
    m_windowBytes = 0;
    m_errorText.clear();
    m_errorCode = 0;
    m_curlError[0] = '\0';

    CURLMcode added = curl_multi_add_handle(m_multi, m_easy);
    if (added != CURLM_OK) {
        SetError(CURLE_FAILED_INIT, curl_multi_strerror(added));
        return false;
    }
    m_attached = true;
    return true;
}

bool CurlEasyReader::ServerKeepsUp() {
    if (m_waited < m_idle) return true;
    // At least one byte per second of waiting, headers included; a trickle fails like silence.
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(m_idle).count();
    if (m_windowBytes < static_cast<std::uint64_t>(std::max<long long>(seconds, 1))) return false;
    m_waited = {};
    m_windowBytes = 0;
    return true;
}

template <class Done>
bool CurlEasyReader::Drive(Done done) {
    // Only time spent here waiting counts: the caller busy between reads is not the server.
    auto tick = std::chrono::steady_clock::now();
    while (!done()) {
        if (StopRequested()) {
            Detach();
            SetError(CURLE_ABORTED_BY_CALLBACK, "Stopped");
            return false;
        }
        if (m_finished) return !m_failed;
        int running = 0;
        CURLMcode performed = curl_multi_perform(m_multi, &running);
        if (performed != CURLM_OK) {
            Detach();
            SetError(CURLE_FAILED_INIT, curl_multi_strerror(performed));
            return false;
        }
        DispatchMessages(m_multi);
        if (done() || m_finished) continue;

        const auto now = std::chrono::steady_clock::now();
        m_waited += now - tick;
        tick = now;
        if (!WithinLimits(now)) return false;
        CURLMcode polled = curl_multi_poll(m_multi, nullptr, 0, kMaxPollMs, nullptr);
        if (polled != CURLM_OK) {
            Detach();
            SetError(CURLE_FAILED_INIT, curl_multi_strerror(polled));
            return false;
        }
    }
    return true;
}

bool CurlEasyReader::WithinLimits(std::chrono::steady_clock::time_point now) {
    const std::int64_t deadline = m_deadline ? m_deadline->load() : 0;
    if (deadline != 0 && now.time_since_epoch() >= std::chrono::nanoseconds(deadline)) {
        Detach();
        SetError(CURLE_OPERATION_TIMEDOUT, "Not complete within the time allowed");
        return false;
    }
    if (!ServerKeepsUp()) {
        Detach();
        SetError(CURLE_OPERATION_TIMEDOUT,
                 "Less than one byte per second for " + std::to_string(m_idle.count()) + " ms");
        return false;
    }
    return true;
}

bool CurlEasyReader::CheckWhileWaiting() {
    if (m_finished) return !m_failed;
    if (StopRequested()) {
        Detach();
        SetError(CURLE_ABORTED_BY_CALLBACK, "Stopped");
        return false;
    }
    const auto now = std::chrono::steady_clock::now();
    if (m_lastLook != std::chrono::steady_clock::time_point{}) m_waited += now - m_lastLook;
    m_lastLook = now;
    return WithinLimits(now);
}

void CurlEasyReader::DispatchMessages(CURLM* multi) {
    int queued = 0;
    while (CURLMsg* message = curl_multi_info_read(multi, &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        // Another reader of this thread whose transfer ended while this one drove the handle.
        char* owner = nullptr;
        curl_easy_getinfo(message->easy_handle, CURLINFO_PRIVATE, &owner);
        auto* reader = reinterpret_cast<CurlEasyReader*>(owner);
        if (reader != nullptr) reader->Finish(message->data.result);
    }
}

long CurlEasyReader::Read(char* buffer, std::size_t count) {
    return Take(buffer, count, true);
}

long CurlEasyReader::ReadNoWait(char* buffer, std::size_t count) {
    return Take(buffer, count, false);
}

bool CurlEasyReader::Unpause() {
    m_paused = false;
    // The pause was ours: the server's rate is measured afresh from here.
    m_waited = {};
    m_windowBytes = 0;
    // libcurl may hand over what it held back right inside this call.
    const CURLcode resumed = curl_easy_pause(m_easy, CURLPAUSE_CONT);
    if (resumed == CURLE_OK) return true;
    Finish(resumed);
    return false;
}

long CurlEasyReader::Take(char* buffer, std::size_t count, bool wait) {
    if (count == 0) return 0;
    count = std::min<std::size_t>(count, 1UL << 30);  // the result must fit a long
    if (Buffered() > 0) {
        std::size_t n = std::min(count, Buffered());
        std::memcpy(buffer, m_buffer.get() + m_bufferStart, n);
        m_bufferStart += n;
        if (m_bufferStart == m_bufferEnd) m_bufferStart = m_bufferEnd = 0;
        m_lastLook = {};
        return static_cast<long>(n);
    }
    if (m_finished) return m_failed ? -1 : 0;

    m_direct = buffer;
    m_directCapacity = count;
    m_directLength = 0;
    bool ok = !m_paused || Unpause();
    if (ok && wait) ok = Drive([&] { return m_directLength > 0 || Buffered() > 0; });
    std::size_t received = m_directLength;
    m_direct = nullptr;
    m_directCapacity = m_directLength = 0;
    // Bytes that arrived before a failure are handed out first; the failure comes next time.
    if (received > 0) {
        m_lastLook = {};
        return static_cast<long>(received);
    }
    if (Buffered() > 0) return Take(buffer, count, wait);
    // A wait ends with data or with the transfer's end.
    if (wait || m_finished) return ok && !m_failed ? 0 : -1;
    return CheckWhileWaiting() ? kReadLater : -1;
}

std::size_t CurlEasyReader::OnWrite(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<CurlEasyReader*>(self);
    std::size_t length = size * count;
    if (t->Buffered() >= kBufferBound) {
        // libcurl keeps this block and offers it again after CURLPAUSE_CONT.
        t->m_paused = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    t->m_windowBytes += length;
    std::size_t direct = std::min(length, t->m_directCapacity - t->m_directLength);
    if (direct > 0) {
        std::memcpy(t->m_direct + t->m_directLength, data, direct);
        t->m_directLength += direct;
    }
    if (direct < length) t->Append(data + direct, length - direct);
    return length;
}

void CurlEasyReader::Append(const char* data, std::size_t length) {
    if (m_bufferEnd + length > m_bufferCapacity && m_bufferStart > 0) {
        std::memmove(m_buffer.get(), m_buffer.get() + m_bufferStart, Buffered());
        m_bufferEnd -= m_bufferStart;
        m_bufferStart = 0;
    }
    if (m_bufferEnd + length > m_bufferCapacity) {
        std::size_t capacity = std::max(
            {m_bufferCapacity * 2, m_bufferEnd + length, static_cast<std::size_t>(64 * 1024)});
        auto grown = t_spareBuffer.Take(capacity);
        if (m_bufferEnd > 0) std::memcpy(grown.get(), m_buffer.get(), m_bufferEnd);
        m_buffer = std::move(grown);
        m_bufferCapacity = capacity;
    }
    std::memcpy(m_buffer.get() + m_bufferEnd, data, length);
    m_bufferEnd += length;
}

std::size_t CurlEasyReader::OnHeader(char* data, std::size_t size, std::size_t count, void* self) {
    auto* t = static_cast<CurlEasyReader*>(self);
    t->m_windowBytes += size * count;
    t->HeaderLine(data, size * count);
    return size * count;
}

void CurlEasyReader::HeaderLine(const char* data, std::size_t length) {
    std::string_view line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.remove_suffix(1);
    if (line.starts_with("HTTP/")) {
        m_inHeaderBlock = true;
        m_pendingHasLocation = false;
        m_pendingHeaders.assign(line);
        m_pendingHeaders += "\r\n";
        return;
    }
    // FTP replies and trailers after a body are no response header block.
    if (!m_inHeaderBlock) return;
    if (!line.empty()) {
        if (IStartsWith(line, "location:")) m_pendingHasLocation = true;
        m_pendingHeaders.append(line);
        m_pendingHeaders += "\r\n";
        return;
    }
    m_inHeaderBlock = false;
    int status = StatusOfLine(m_pendingHeaders);
    bool interim = status >= 100 && status < 200;
    bool followed = m_follows && status >= 300 && status < 400 && m_pendingHasLocation;
    if (interim || followed) return;
    if (m_decodes) DropEncodingHeaders(m_pendingHeaders);
    m_pendingHeaders += "\r\n";
    m_rawHeaders = std::move(m_pendingHeaders);
    m_pendingHeaders.clear();
    m_status = status;
    m_headersDone = true;
}

std::string CurlEasyReader::EffectiveUrl() const {
    char* url = nullptr;
    if (!Valid() || curl_easy_getinfo(m_easy, CURLINFO_EFFECTIVE_URL, &url) != CURLE_OK ||
        url == nullptr)
        return {};
    return url;
}

}  // namespace kov
