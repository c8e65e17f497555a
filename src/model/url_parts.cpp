#include "model/url_parts.h"

#include "core/text/text_util.h"

namespace kov {

namespace {

bool IsAlpha(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}
bool IsSlash(char c) {
    return c == '/' || c == '\\';
}
int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Length of the scheme name at the start of url (letters, digits, "+-."), 0 when there is
// none. One letter followed by ':' is a drive letter, not a scheme.
std::size_t SchemeLength(std::string_view url) {
    if (url.empty() || !IsAlpha(url[0])) return 0;
    std::size_t i = 1;
    while (i < url.size() &&
           (IsAlpha(url[i]) || IsDigit(url[i]) || url[i] == '+' || url[i] == '-' || url[i] == '.'))
        ++i;
    if (i >= url.size() || url[i] != ':' || i < 2) return 0;
    return i;
}

bool ParsePort(std::string_view text, int& port) {
    if (text.empty() || text.size() > 5) return false;
    int value = 0;
    for (char c : text) {
        if (!IsDigit(c)) return false;
        value = value * 10 + (c - '0');
    }
    if (value > 65535) return false;
    port = value;
    return true;
}

bool SplitHostPort(std::string_view hostPort, UrlParts& out) {
    std::string_view portText;
    if (!hostPort.empty() && hostPort[0] == '[') {
        const std::size_t close = hostPort.find(']');
        if (close == std::string_view::npos) return false;
        out.host = std::string(hostPort.substr(0, close + 1));
        std::string_view after = hostPort.substr(close + 1);
        if (!after.empty()) {
            if (after[0] != ':') return false;
            portText = after.substr(1);
        }
    } else {
        const std::size_t colon = hostPort.find(':');
        out.host = std::string(hostPort.substr(0, colon));
        if (colon != std::string_view::npos) portText = hostPort.substr(colon + 1);
    }
    if (portText.empty()) return true;  // "host:" means the default port, as browsers read it
    return ParsePort(portText, out.port);
}

bool SplitInto(std::string_view url, UrlParts& out) {
    const std::size_t schemeLen = SchemeLength(url);
    if (schemeLen == 0) return false;
    out.scheme = ToLowerAscii(url.substr(0, schemeLen));
    out.port = DefaultPort(out.scheme);
    std::string_view rest = url.substr(schemeLen + 1);
    const bool slashes = rest.size() >= 2 && IsSlash(rest[0]) && IsSlash(rest[1]);

    if (out.scheme == "file") {
        out.object = std::string(slashes ? rest.substr(2) : rest);
        return true;
    }
    if (!slashes) return false;
    rest.remove_prefix(2);

    const std::size_t end = rest.find_first_of("/\\?#");
    std::string_view authority = rest.substr(0, end);
    if (end != std::string_view::npos) {
        std::string_view object = rest.substr(end);
        if (object[0] == '?' || object[0] == '#') out.object = "/";
        out.object.append(object);
        // In the path of a network address '\' is a '/' typed the Windows way.
        const std::size_t query = out.object.find_first_of("?#");
        for (std::size_t i = 0; i < out.object.size() && i < query; ++i) {
            if (out.object[i] == '\\') out.object[i] = '/';
        }
    }

    const std::size_t at = authority.rfind('@');
    if (at != std::string_view::npos) {
        std::string_view userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        out.user = std::string(userInfo.substr(0, colon));
        if (colon != std::string_view::npos) out.password = std::string(userInfo.substr(colon + 1));
        authority.remove_prefix(at + 1);
    }
    return SplitHostPort(authority, out);
}

}  // namespace

std::string DecodeEscapes(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%' && i + 2 < text.size()) {
            const int hi = HexValue(text[i + 1]);
            const int lo = HexValue(text[i + 2]);
            if (hi >= 0 && lo >= 0 && (hi | lo) != 0) {
                out += static_cast<char>(hi * 16 + lo);
                i += 2;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

bool SplitUrl(std::string_view url, UrlParts& out, bool decode) {
    out = UrlParts{};
    if (!SplitInto(url, out)) {
        out = UrlParts{};
        return false;
    }
    if (decode) {
        out.user = DecodeEscapes(out.user);
        out.password = DecodeEscapes(out.password);
        out.object = DecodeEscapes(out.object);
    }
    return true;
}

int DefaultPort(std::string_view scheme) {
    if (IEquals(scheme, "ftp")) return 21;
    if (IEquals(scheme, "http")) return 80;
    if (IEquals(scheme, "https")) return 443;
    return 0;
}

void SplitServerAddress(std::string_view text, int defaultPort, std::string& host, int& port) {
    text = TrimBlanks(text);
    port = defaultPort;
    std::size_t colon = std::string_view::npos;
    if (!text.empty() && text.front() == '[') {
        const std::size_t close = text.find(']');
        if (close != std::string_view::npos) {
            host = std::string(text.substr(1, close - 1));
            if (close + 1 < text.size() && text[close + 1] == ':') colon = close + 1;
        } else {
            host = std::string(text);
        }
    } else {
        colon = text.find(':');
        host = std::string(text.substr(0, colon));
    }
    if (colon != std::string_view::npos) {
        const std::string_view digits = text.substr(colon + 1);
        const bool number = !digits.empty() && digits.size() <= 5 &&
                            digits.find_first_not_of("0123456789") == std::string_view::npos;
        const std::uint64_t value = number ? ParseUint64(digits) : 0;
        if (value >= 1 && value <= 65535) port = static_cast<int>(value);
    }
}

}  // namespace kov
