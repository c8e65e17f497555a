#include "net/http/proxy_send.h"

#include "net/http/inet.h"

namespace kov {

ProxySend AnswerProxyChallenge(HttpRequest& request, const std::string& user,
                               const std::string& password) {
    if (request.StatusCode() != 407) return ProxySend::Answered;
    if (user.empty() || password.empty()) return ProxySend::NoCredentials;
    if (!request.SetProxyCredentials(user, password)) return ProxySend::CredentialsFailed;
    return ProxySend::SendAgain;
}

ProxySend SendThroughProxy(HttpRequest& request, const std::string& user,
                           const std::string& password) {
    if (!request.Send()) return ProxySend::NotSent;
    const ProxySend answer = AnswerProxyChallenge(request, user, password);
    if (answer != ProxySend::SendAgain) return answer;
    return request.Send() ? ProxySend::Answered : ProxySend::NotSent;
}

}  // namespace kov
