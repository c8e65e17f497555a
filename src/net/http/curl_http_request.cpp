#include "net/http/curl_http_request.h"

#include "core/text/text_util.h"

namespace kov {

namespace {

constexpr long kMaxRedirects = 20;

std::string_view HeaderName(std::string_view line) {
    std::size_t colon = line.find(':');
    if (colon == std::string_view::npos) return {};
    std::string_view name = line.substr(0, colon);
    for (char c : name) {
        // A token: no blanks, controls or separators that would break the request.
        if (c <= ' ' || c >= 0x7F || c == '(' || c == ')' || c == '<' || c == '>' || c == '@' ||
            c == ',' || c == ';' || c == '\\' || c == '"' || c == '/' || c == '[' || c == ']' ||
            c == '?' || c == '=' || c == '{' || c == '}')
            return {};
    }
    return name;
}

}  // namespace

std::unique_ptr<CurlHttpRequest> CurlHttpRequest::Create(const CurlSessionConfig& config,
                                                         std::string url, const std::string& user,
                                                         const std::string& password,
                                                         const std::string& referer,
                                                         unsigned flags) {
    std::unique_ptr<CurlHttpRequest> request(new CurlHttpRequest(config));
    if (!request->m_transfer.Valid()) return nullptr;
    CURL* easy = request->m_transfer.Easy();
    request->m_url = std::move(url);
    curl_easy_setopt(easy, CURLOPT_URL, request->m_url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_HTTPGET, 1L);
    ApplySessionOptions(easy, config, request->m_url);
    if (!user.empty()) curl_easy_setopt(easy, CURLOPT_USERNAME, user.c_str());
    if (!password.empty()) curl_easy_setopt(easy, CURLOPT_PASSWORD, password.c_str());
    if (!referer.empty()) curl_easy_setopt(easy, CURLOPT_REFERER, referer.c_str());
    bool follow = (flags & kRequestNoRedirect) == 0;
    request->m_transfer.SetFollowsRedirects(follow);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, follow ? 1L : 0L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
    // A redirect leads only to the web; libcurl keeps the credentials to the first host, port
    // and scheme (CURLOPT_UNRESTRICTED_AUTH stays off).
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    if ((flags & kRequestCompressed) != 0) {
        // Every encoding this libcurl can decode.
        curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "");
        request->m_transfer.SetDecodes(true);
    }
    if ((flags & kRequestNoCache) != 0)
        request->AddRequestHeaders("Pragma: no-cache\r\nCache-Control: no-cache", true);
    return request;
}

bool CurlHttpRequest::AddRequestHeaders(std::string_view headers, bool addIfNew) {
    bool ok = true;
    while (!headers.empty()) {
        std::size_t end = headers.find_first_of("\r\n");
        std::string_view line = headers.substr(0, end);
        headers.remove_prefix(end == std::string_view::npos ? headers.size() : end + 1);
        line = TrimBlanks(line);
        if (line.empty()) continue;
        std::string_view name = HeaderName(line);
        if (name.empty()) {
            ok = false;
            continue;
        }
        bool present = false;
        for (const std::string& existing : m_headers) {
            if (IEquals(HeaderName(existing), name)) present = true;
        }
        if (addIfNew && present) continue;
        m_headers.emplace_back(line);
    }
    return ok;
}

bool CurlHttpRequest::SetProxyCredentials(std::string user, std::string password) {
    CURL* easy = m_transfer.Easy();
    return curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, user.c_str()) == CURLE_OK &&
           curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, password.c_str()) == CURLE_OK;
}

bool CurlHttpRequest::Prepare() {
    m_sent = true;
    m_status = kStatusClientError;
    if (!GetConnectedState()) {
        m_transfer.SetError(CURLE_COULDNT_CONNECT, "The client is offline");
        return false;
    }
    curl_slist* list = nullptr;
    for (const std::string& header : m_headers) {
        curl_slist* longer = curl_slist_append(list, header.c_str());
        if (longer == nullptr) {
            curl_slist_free_all(list);
            m_transfer.SetError(CURLE_OUT_OF_MEMORY, "Out of memory");
            return false;
        }
        list = longer;
    }
    m_transfer.SetRequestHeaders(list);
    return true;
}

bool CurlHttpRequest::TakeStatus() {
    if (m_transfer.StatusCode() == 0) {
        m_transfer.SetError(CURLE_WEIRD_SERVER_REPLY, "The server sent no HTTP response");
        return false;
    }
    m_status = m_transfer.StatusCode();
    return true;
}

bool CurlHttpRequest::Send() {
    if (!Prepare()) return false;
    return m_transfer.Open(CurlEasyReader::OpenUntil::Headers) && TakeStatus();
}

bool CurlHttpRequest::Start() {
    return Prepare() && m_transfer.Start();
}

HttpRequest::Progress CurlHttpRequest::Poll() {
    if (!m_sent) return Progress::Failed;
    if (m_status != kStatusClientError) return Progress::Answered;
    if (m_transfer.HeadersComplete()) return TakeStatus() ? Progress::Answered : Progress::Failed;
    if (m_transfer.Ended()) {
        if (m_transfer.ErrorCode() == 0) TakeStatus();
        return Progress::Failed;
    }
    return m_transfer.CheckWhileWaiting() ? Progress::Waiting : Progress::Failed;
}

long CurlHttpRequest::ReadNoWait(char* buffer, std::size_t count) {
    if (!m_sent) return Read(buffer, count);
    return m_transfer.ReadNoWait(buffer, count);
}

long CurlHttpRequest::Read(char* buffer, std::size_t count) {
    if (!m_sent) {
        m_transfer.SetError(CURLE_SEND_ERROR, "The request was not sent");
        return -1;
    }
    return m_transfer.Read(buffer, count);
}

}  // namespace kov
