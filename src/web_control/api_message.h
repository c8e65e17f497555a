#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

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
    std::string ifNoneMatch = {};  // the entity tags a caller already has ("" when none)
};

// What the routes answer: a status and a JSON body ("" for 204).
struct ApiResponse {
    ApiResponse() = default;
    ApiResponse(int status, std::string body) : status(status), body(std::move(body)) {}

    int status = 200;
    std::string body;
    // Instead of body: a text kept elsewhere in pieces, sent one after the other as they are,
    // without a copy (the pointer keeps them alive).
    std::shared_ptr<const std::vector<std::string_view>> pieces;
    // The entity tag of the body ("" when none): the same tag, the same body.
    std::string etag;

    std::string Text() const {
        if (!pieces) return body;
        std::string text;
        for (const std::string_view piece : *pieces)
            text += piece;
        return text;
    }

    static ApiResponse Json(int status, const nlohmann::json& value) {
        return {status, value.dump()};
    }
    // {"error": "...", "cause": "..."}
    static ApiResponse Error(int status, const std::string& error, const std::string& cause) {
        return Json(status, nlohmann::json{{"error", error}, {"cause", cause}});
    }
};

}  // namespace kov
