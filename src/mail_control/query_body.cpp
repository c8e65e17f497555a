#include "mail_control/query_body.h"

#include <cctype>

#include "core/text/text_util.h"
#include "mail_control/query_message.h"

namespace kov {

namespace {

// multipart/mixed holding multipart/alternative is what mail programs make; deeper is hostile.
constexpr int kMaxDepth = 4;
constexpr std::size_t kMaxShown = 60;

std::string Lower(std::string_view text) {
    std::string out(TrimBlanks(text));
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// The value of parameter name in a header value such as `multipart/mixed; boundary="b1"`.
std::string Parameter(const std::string& value, std::string_view name) {
    std::string lower = value;
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    for (std::size_t at = lower.find(';'); at != std::string::npos; at = lower.find(';', at + 1)) {
        std::size_t start = at + 1;
        while (start < lower.size() && (lower[start] == ' ' || lower[start] == '\t'))
            ++start;
        if (lower.compare(start, name.size(), name) != 0 ||
            lower.compare(start + name.size(), 1, "=") != 0)
            continue;
        start += name.size() + 1;
        // The value keeps its case: boundaries are case-sensitive.
        std::string_view rest = std::string_view(value).substr(start);
        if (!rest.empty() && rest.front() == '"') {
            const std::size_t close = rest.find('"', 1);
            return std::string(
                rest.substr(1, close == std::string_view::npos ? rest.npos : close - 1));
        }
        return std::string(TrimBlanks(rest.substr(0, rest.find(';'))));
    }
    return {};
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

QueryBody Problem(std::string why) {
    return {{}, std::move(why)};
}

QueryBody DecodePart(const Pop3Message& message, int depth);

QueryBody DecodeMultipart(const Pop3Message& message, int depth) {
    if (depth >= kMaxDepth) return Problem("multipart message nested too deeply");
    const std::string boundary = Parameter(message.GetHeaderItem("Content-Type"), "boundary");
    if (boundary.empty()) return Problem("multipart message without a boundary");
    // Every part starts after a line "--boundary"; the body is searched as "\r\n" + body so
    // that a delimiter on the first line is found like any other.
    const std::string body = "\r\n" + message.GetBody();
    const std::string delimiter = "\r\n--" + boundary;
    std::string firstProblem;
    std::size_t at = body.find(delimiter);
    while (at != std::string::npos) {
        std::size_t start = at + delimiter.size();
        if (body.compare(start, 2, "--") == 0) break;  // the closing delimiter
        const std::size_t lineEnd = body.find("\r\n", start);
        if (lineEnd == std::string::npos) break;
        start = lineEnd + 2;
        const std::size_t next = body.find(delimiter, start);
        std::string part = body.substr(start, next == std::string::npos ? body.npos : next - start);
        // A part without header lines starts with its empty line.
        if (part.starts_with("\r\n")) part = "X-Part: plain\r\n" + part;
        QueryBody decoded = DecodePart(Pop3Message(std::move(part)), depth + 1);
        if (decoded.problem.empty() && decoded.text.find("<URLIST") != std::string::npos)
            return decoded;
        if (!decoded.problem.empty() && firstProblem.empty()) firstProblem = decoded.problem;
        at = next;
    }
    return Problem(firstProblem.empty() ? "no part of the multipart message holds a URL list"
                                        : firstProblem);
}

QueryBody DecodePart(const Pop3Message& message, int depth) {
    const std::string type = Lower(message.GetHeaderItem("Content-Type"));
    if (type.starts_with("multipart/")) return DecodeMultipart(message, depth);
    if (!type.empty() && !type.starts_with("text/"))
        return Problem("content type " + CapText(HeaderSafe(type), kMaxShown) + " is not text");
    const std::string encoding = Lower(message.GetHeaderItem("Content-Transfer-Encoding"));
    if (encoding.empty() || encoding == "7bit" || encoding == "8bit" || encoding == "binary")
        return {message.GetBody(), {}};
    if (encoding == "quoted-printable") return {DecodeQuotedPrintable(message.GetBody()), {}};
    if (encoding == "base64") {
        QueryBody decoded;
        if (!DecodeBase64(message.GetBody(), decoded.text))
            return Problem("body is not valid base64");
        return decoded;
    }
    return Problem("unknown transfer encoding " + CapText(HeaderSafe(encoding), kMaxShown));
}

}  // namespace

bool DecodeBase64(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size() / 4 * 3);
    unsigned bits = 0;
    int count = 0;
    bool padded = false;
    for (const char c : text) {
        int value = -1;
        if (c >= 'A' && c <= 'Z') value = c - 'A';
        if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
        if (c >= '0' && c <= '9') value = c - '0' + 52;
        if (c == '+') value = 62;
        if (c == '/') value = 63;
        if (c == '=') {
            padded = true;
            continue;
        }
        if (value < 0) {
            if (c == '\r' || c == '\n' || c == ' ' || c == '\t') continue;
            return false;
        }
        if (padded) return false;  // data after the padding
        bits = (bits << 6) | static_cast<unsigned>(value);
        if (++count == 4) {
            out += static_cast<char>((bits >> 16) & 0xff);
            out += static_cast<char>((bits >> 8) & 0xff);
            out += static_cast<char>(bits & 0xff);
            bits = 0;
            count = 0;
        }
    }
    if (count == 1) return false;
    if (count == 2) out += static_cast<char>((bits >> 4) & 0xff);
    if (count == 3) {
        out += static_cast<char>((bits >> 10) & 0xff);
        out += static_cast<char>((bits >> 2) & 0xff);
    }
    return true;
}

std::string DecodeQuotedPrintable(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '=') {
            out += text[i];
            continue;
        }
        // "=" at a line's end joins it to the next.
        if (text.compare(i + 1, 2, "\r\n") == 0) {
            i += 2;
            continue;
        }
        if (i + 1 < text.size() && text[i + 1] == '\n') {
            ++i;
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
        if (high < 0 || low < 0) {
            out += '=';  // not an escape: kept as written
            continue;
        }
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return out;
}

QueryBody DecodeQueryBody(const Pop3Message& message) {
    return DecodePart(message, 0);
}

}  // namespace kov
