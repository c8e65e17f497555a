#pragma once

#include <string>

namespace kov::cli {

// Why url cannot become an item that a session can fetch, or "" when it can: http, ftp,
// file:// and (when httpsEnabled) https addresses with a host (file:// needs none).
std::string UrlProblem(const std::string& url, bool httpsEnabled);

}  // namespace kov::cli
