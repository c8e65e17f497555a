#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include <nlohmann/json.hpp>

namespace kov {

// One request of the remote-control API as the server hands it to the routes: already past the
// guard (token, Host, Origin, size), its body read whole.
struct ApiRequest {
    std::string method;                        // "GET", "POST", "PATCH", "DELETE"
    std::string path;                          // "/api/v1/items/42", without the query
    std::map<std::string, std::string> query;  // decoded "?list=2&after=10"
    std::string body;
    bool fromLoopback = true;  // the caller's address is on this machine
    // Set while the server stops: a route waiting for the main loop gives up (503) when it is.
    const std::atomic<bool>* stopping = nullptr;
};

// What the routes answer: a status and a JSON body ("" for 204).
struct ApiResponse {
    ApiResponse() = default;
    ApiResponse(int status, std::string body) : status(status), body(std::move(body)) {}

    int status = 200;
    std::string body;
    // Instead of body: a text kept elsewhere and sent as it is, without a copy.
    std::shared_ptr<const std::string> shared;

    const std::string& Text() const { return shared ? *shared : body; }

    static ApiResponse Json(int status, const nlohmann::json& value) {
        return {status, value.dump()};
    }
    // {"error": "...", "cause": "..."}
    static ApiResponse Error(int status, const std::string& error, const std::string& cause) {
        return Json(status, nlohmann::json{{"error", error}, {"cause", cause}});
    }
};

}  // namespace kov
