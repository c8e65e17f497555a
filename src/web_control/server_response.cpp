#include "web_control/server_response.h"

namespace kov {

namespace {

// The response holds the text until it is sent, without a copy: a text kept elsewhere (a
// snapshot's rows) is shared, a text of its own moved in.
MHD_Response* FromShared(std::shared_ptr<const std::string> body) {
    auto* kept = new std::shared_ptr<const std::string>(std::move(body));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        (*kept)->size(), const_cast<char*>((*kept)->data()),
        [](void* cls) { delete static_cast<std::shared_ptr<const std::string>*>(cls); }, kept);
    if (response == nullptr) delete kept;
    return response;
}

MHD_Response* FromText(std::string body) {
    return FromShared(std::make_shared<const std::string>(std::move(body)));
}

MHD_Result Queue(MHD_Connection* connection, int status, MHD_Response* response) {
    if (response == nullptr) return MHD_NO;
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Response* JsonResponse(ApiResponse answer) {
    const bool empty = answer.shared ? answer.shared->empty() : answer.body.empty();
    MHD_Response* response =
        answer.shared ? FromShared(std::move(answer.shared)) : FromText(std::move(answer.body));
    if (response == nullptr) return nullptr;
    if (!empty) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                "application/json; charset=utf-8");
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    return response;
}

}  // namespace

MHD_Result SendJson(MHD_Connection* connection, ApiResponse response) {
    const int status = response.status;
    return Queue(connection, status, JsonResponse(std::move(response)));
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

MHD_Result SendPageFile(MHD_Connection* connection, std::string body,
                        const std::string& contentType) {
    MHD_Response* response = FromText(std::move(body));
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
