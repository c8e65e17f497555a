#pragma once

#include <microhttpd.h>

#include <string>

#include "web_control/api_message.h"

namespace kov {

// Queues the server's answers with the headers each kind needs.

// A JSON answer of the API (none for 204), never cached.
MHD_Result SendJson(MHD_Connection* connection, ApiResponse response);
// A refusal: as SendJson, plus the challenge on 401 and closing the connection on 503.
MHD_Result SendError(MHD_Connection* connection, const ApiResponse& response);
// A file of the web page, only allowed to load from this server.
MHD_Result SendPageFile(MHD_Connection* connection, std::string body,
                        const std::string& contentType);
// The event stream; takes response.
MHD_Result SendStream(MHD_Connection* connection, MHD_Response* response);

}  // namespace kov
