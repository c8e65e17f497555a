#include "net/http/curl_session_config.h"

#include "net/http/inet_util.h"

namespace kov {

namespace {

std::string SchemeOfUrl(std::string_view url) {
    std::size_t colon = url.find("://");
    return colon == std::string_view::npos ? std::string() : std::string(url.substr(0, colon));
}

}  // namespace

void ApplySessionOptions(CURL* easy, const CurlSessionConfig& config, std::string_view url) {
    curl_easy_setopt(easy, CURLOPT_USERAGENT, config.userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                     static_cast<long>(config.timeouts.connect.count()));
    // Proxy and bypass list are always set explicitly, so that libcurl never reads the
    // environment on its own.
    std::string proxy;
    std::string noProxy;
    if (config.access == AccessType::NamedProxy) {
        proxy = config.proxyName;
    } else if (config.access == AccessType::Preconfigured) {
        EnvironmentProxy chosen = ProxyFromEnvironment(SchemeOfUrl(url));
        proxy = std::move(chosen.proxy);
        noProxy = std::move(chosen.noProxy);
    }
    curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
    curl_easy_setopt(easy, CURLOPT_NOPROXY, noProxy.c_str());
    if (!config.proxyUser.empty())
        curl_easy_setopt(easy, CURLOPT_PROXYUSERNAME, config.proxyUser.c_str());
    if (!config.proxyPassword.empty())
        curl_easy_setopt(easy, CURLOPT_PROXYPASSWORD, config.proxyPassword.c_str());
}

}  // namespace kov
