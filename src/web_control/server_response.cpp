#include "web_control/server_response.h"

namespace kov {

namespace {

MHD_Response* FromText(const std::string& body) {
    return MHD_create_response_from_buffer(body.size(), const_cast<char*>(body.data()),
                                           MHD_RESPMEM_MUST_COPY);
}

MHD_Result Queue(MHD_Connection* connection, int status, MHD_Response* response) {
    if (response == nullptr) return MHD_NO;
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Response* JsonResponse(const ApiResponse& answer) {
    MHD_Response* response = FromText(answer.body);
    if (response == nullptr) return nullptr;
    if (!answer.body.empty()) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                "application/json; charset=utf-8");
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return response;
}

}  // namespace

MHD_Result SendJson(MHD_Connection* connection, const ApiResponse& response) {
    return Queue(connection, response.status, JsonResponse(response));
}

MHD_Result SendError(MHD_Connection* connection, const ApiResponse& answer) {
    MHD_Response* response = JsonResponse(answer);
    if (response != nullptr && answer.status == 401) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
    }
    if (response != nullptr && answer.status == 503) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONNECTION, "close");
    }
    return Queue(connection, answer.status, response);
}

MHD_Result SendPageFile(MHD_Connection* connection, const std::string& body,
                        const std::string& contentType) {
    MHD_Response* response = FromText(body);
    if (response == nullptr) return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, contentType.c_str());
    MHD_add_response_header(response, "Content-Security-Policy", "default-src 'self'");
    MHD_add_response_header(response, "X-Content-Type-Options", "nosniff");
    MHD_add_response_header(response, "X-Frame-Options", "DENY");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-cache");
    return Queue(connection, 200, response);
}

MHD_Result SendStream(MHD_Connection* connection, MHD_Response* response) {
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "text/event-stream");
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return Queue(connection, 200, response);
}

}  // namespace kov
