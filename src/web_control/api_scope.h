#pragma once

#include <optional>
#include <string>

#include <nlohmann/json.hpp>

#include "core/settings/app_settings.h"
#include "web_control/api_message.h"

namespace kov {

class ItemWatch;
class ListCopies;
class ListDocument;
class SessionController;

// What one request's route reads and changes, on the main loop's thread.
struct ApiScope {
    AppSettings& settings;
    ListDocument& document;
    SessionController& session;
    ItemWatch& watch;
    ListCopies& copies;  // other lists' items, read without a switch
    const ApiRequest& request;
    nlohmann::json body;       // the parsed body (an object), or null for GET and DELETE
    bool listChanged = false;  // the route changed rows or lists: the list is saved soon

    // Items from another machine keep to the list's folder and carry no commands or uploads,
    // unless the user allowed commands.
    bool Confined() const { return !request.fromLoopback && settings.remote.AllowCommands == 0; }
};

// Makes list `number` (from 1) the current one, as a caller asking for it expects; nullopt when
// done, else the refusal: 404 no such list, 409 a session runs, 500 the current list could not
// be saved or the other one read.
std::optional<ApiResponse> UseList(ApiScope& scope, const nlohmann::json& number);

}  // namespace kov
