#pragma once

#include <curl/curl.h>

#include <memory>
#include <string>
#include <vector>

#include "net/http/curl_easy_reader.h"
#include "net/http/curl_session_config.h"
#include "net/http/inet.h"

namespace kov {

// A GET request on libcurl; see HttpRequest.
class CurlHttpRequest final : public HttpRequest {
public:
    // url is the full address of the object; user and password are sent when not empty.
    static std::unique_ptr<CurlHttpRequest> Create(const CurlSessionConfig& config, std::string url,
                                                   const std::string& user,
                                                   const std::string& password,
                                                   const std::string& referer, unsigned flags);

    bool AddRequestHeaders(std::string_view headers, bool addIfNew) override;
    bool SetProxyCredentials(std::string user, std::string password) override;
    bool Send() override;
    int StatusCode() const override { return m_status; }
    std::string RawHeaders() const override { return m_transfer.RawHeaders(); }
    long Read(char* buffer, std::size_t count) override;
    bool Start() override;
    Progress Poll() override;
    long ReadNoWait(char* buffer, std::size_t count) override;
    std::string EffectiveUrl() const override { return m_transfer.EffectiveUrl(); }
    const std::string& ErrorText() const override { return m_transfer.ErrorText(); }
    int ErrorCode() const override { return m_transfer.ErrorCode(); }

private:
    explicit CurlHttpRequest(const CurlSessionConfig& config) : m_transfer(config) {}
    // The request's headers set on the transfer; false when it cannot be sent.
    bool Prepare();
    // The final response's status taken once its headers are complete.
    bool TakeStatus();

    CurlEasyReader m_transfer;
    std::string m_url;
    std::vector<std::string> m_headers;
    bool m_sent = false;
    int m_status = 0;
};

}  // namespace kov
