#pragma once

#include <string>

#include <nlohmann/json.hpp>

#include "web_control/api_message.h"

namespace kov {

// JSON text that never throws: names, URLs and log lines may come from servers and need not be
// valid UTF-8; a bad byte becomes U+FFFD.
inline std::string JsonText(const nlohmann::json& value) {
    return value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

inline ApiResponse Reply(int status, const nlohmann::json& value) {
    return {status, JsonText(value)};
}

// {"error": "...", "cause": "..."}
inline ApiResponse Refuse(int status, const std::string& error, const std::string& cause) {
    return Reply(status, nlohmann::json{{"error", error}, {"cause", cause}});
}

}  // namespace kov
