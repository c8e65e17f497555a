#pragma once

// What a session passes on to each of its transfers.

#include <curl/curl.h>

#include <string>
#include <string_view>

#include "net/inet.h"

namespace kov {

struct CurlSessionConfig {
    std::string userAgent;
    AccessType access = AccessType::Direct;
    std::string proxyName;
    std::string proxyUser;
    std::string proxyPassword;
    InetTimeouts timeouts;
};

// Sets agent, proxy (chosen for the scheme of url), proxy credentials and the connect
// time-out on easy.
void ApplySessionOptions(CURL* easy, const CurlSessionConfig& config, std::string_view url);

}  // namespace kov
