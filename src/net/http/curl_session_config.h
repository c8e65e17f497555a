#pragma once

// What a session passes on to each of its transfers.

#include <curl/curl.h>

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "net/http/inet.h"
#include "net/http/shared_connections.h"

namespace kov {

struct CurlSessionConfig {
    std::string userAgent;
    AccessType access = AccessType::Direct;
    std::string proxyName;
    std::string proxyUser;
    std::string proxyPassword;
    InetTimeouts timeouts;
    std::shared_ptr<SharedConnections> shared;            // none: each transfer connects on its own
    const std::atomic<int>* stopFlag = nullptr;           // 2 or more ends every transfer at once
    const std::atomic<std::int64_t>* deadline = nullptr;  // see SetDeadline
};

// Sets agent, proxy (chosen for the scheme of url), proxy credentials and the connect
// time-out on easy.
void ApplySessionOptions(CURL* easy, const CurlSessionConfig& config, std::string_view url);

}  // namespace kov
