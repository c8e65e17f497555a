#include "net/http/proxy_send.h"

#include "net/http/inet.h"

namespace kov {

ProxySend SendThroughProxy(HttpRequest& request, const std::string& user,
                           const std::string& password) {
    if (!request.Send()) return ProxySend::NotSent;
    if (request.StatusCode() != 407) return ProxySend::Answered;
    if (user.empty() || password.empty()) return ProxySend::NoCredentials;
    if (!request.SetProxyCredentials(user, password)) return ProxySend::CredentialsFailed;
    return request.Send() ? ProxySend::Answered : ProxySend::NotSent;
}

}  // namespace kov
