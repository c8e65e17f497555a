#pragma once

#include <string>
#include <string_view>

namespace kov {

// The pieces of an address. scheme is lower case without ':'; host keeps the brackets of an
// IPv6 literal; object is the path with query and fragment, beginning with '/' or empty. For
// "file:" the object is the text after "file://" (or after "file:") and host is empty.
struct UrlParts {
    std::string scheme;
    std::string host;
    std::string user;
    std::string password;
    std::string object;
    int port = 0;  // the scheme's default when the address names none
};

// Splits url into out. With decode, %XX escapes in user, password and object are decoded
// (except %00, which stays as text so that no NUL reaches a file name or a request). False,
// with out cleared, when there is no scheme, no "//" after a non-file scheme, an unclosed IPv6
// bracket or a port that is not a number in 0..65535.
bool SplitUrl(std::string_view url, UrlParts& out, bool decode);

// 21 ftp, 80 http, 443 https, 0 otherwise (scheme compared ignoring case).
int DefaultPort(std::string_view scheme);

// A server setting: a host optionally followed by ':' and a port (an IPv6 literal in brackets).
// The port is defaultPort when none is given or it is not a number in 1..65535.
void SplitServerAddress(std::string_view text, int defaultPort, std::string& host, int& port);

// %XX escapes decoded; malformed escapes and %00 are kept as text.
std::string DecodeEscapes(std::string_view text);

}  // namespace kov
