#include "web_control/server_response.h"

namespace kov {

namespace {

MHD_Response* FromText(std::string body) {
    auto* kept = new std::string(std::move(body));
    MHD_Response* response = MHD_create_response_from_buffer_with_free_callback_cls(
        kept->size(), kept->data(), [](void* cls) { delete static_cast<std::string*>(cls); }, kept);
    if (response == nullptr) delete kept;
    return response;
}

// The pieces are sent as they are, kept alive until the response is gone.
MHD_Response* FromPieces(std::shared_ptr<const std::vector<std::string_view>> pieces) {
    std::vector<MHD_IoVec> parts;
    parts.reserve(pieces->size());
    for (const std::string_view piece : *pieces) {
        if (!piece.empty()) parts.push_back({piece.data(), piece.size()});
    }
    using Kept = std::shared_ptr<const std::vector<std::string_view>>;
    auto* kept = new Kept(std::move(pieces));
    MHD_Response* response = MHD_create_response_from_iovec(
        parts.data(), static_cast<unsigned>(parts.size()),
        [](void* cls) { delete static_cast<Kept*>(cls); }, kept);
    if (response == nullptr) delete kept;
    return response;
}

MHD_Result Queue(MHD_Connection* connection, int status, MHD_Response* response) {
    if (response == nullptr) return MHD_NO;
    const MHD_Result queued =
        MHD_queue_response(connection, static_cast<unsigned>(status), response);
    MHD_destroy_response(response);
    return queued;
}

MHD_Response* JsonResponse(ApiResponse answer) {
    const bool empty = answer.pieces ? answer.pieces->empty() : answer.body.empty();
    MHD_Response* response =
        answer.pieces ? FromPieces(std::move(answer.pieces)) : FromText(std::move(answer.body));
    if (response == nullptr) return nullptr;
    if (!empty) {
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE,
                                "application/json; charset=utf-8");
    }
    MHD_add_response_header(response, MHD_HTTP_HEADER_CACHE_CONTROL, "no-store");
    if (!answer.etag.empty())
        MHD_add_response_header(response, MHD_HTTP_HEADER_ETAG, answer.etag.c_str());
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
