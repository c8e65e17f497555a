#pragma once

#include <string>

namespace kov {

class HttpRequest;

// How a request went that a proxy may have asked to authenticate.
enum class ProxySend {
    Answered,           // a response came: a second 407 is final and is answered too
    NotSent,            // the client failed; the request's ErrorText says why
    NoCredentials,      // a 407, and no user and password to give
    CredentialsFailed,  // a 407, and the credentials could not be set on the request
    SendAgain,          // AnswerProxyChallenge only: the credentials are set, send once more
};

// Sends request; when the proxy answers 407, sends it once more with user and password.
ProxySend SendThroughProxy(HttpRequest& request, const std::string& user,
                           const std::string& password);

// For a request that got its response: Answered when it is no 407, else user and password set
// on it for one more try (SendAgain), or why they could not be.
ProxySend AnswerProxyChallenge(HttpRequest& request, const std::string& user,
                               const std::string& password);

}  // namespace kov
