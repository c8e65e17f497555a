#include "net/mail/mail_reply.h"

#include <strings.h>
#include <algorithm>
#include <cctype>
#include <climits>
#include <utility>

namespace kov {

namespace {

constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kListEnd = "\r\n.\r\n";

// A decimal number at text[pos] (after blanks and tabs), at most max; pos moves past it.
bool ReadNumber(std::string_view text, std::size_t& pos, long long max, long long& value) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t'))
        ++pos;
    if (pos >= text.size() || text[pos] < '0' || text[pos] > '9') return false;
    value = 0;
    for (; pos < text.size() && text[pos] >= '0' && text[pos] <= '9'; ++pos) {
        const int digit = text[pos] - '0';
        if (value > (LLONG_MAX - digit) / 10) return false;
        value = value * 10 + digit;
    }
    return value <= max;
}

}  // namespace

bool Pop3ReplyOk(std::string_view reply) {
    return reply.size() >= 3 && strncasecmp(reply.data(), "+OK", 3) == 0;
}

std::size_t Pop3ReplyEnd(std::string_view pending, bool multiLine, std::size_t& searchFrom) {
    const std::size_t firstLine = pending.find(kLineEnd);
    if (firstLine == std::string_view::npos) return std::string_view::npos;
    if (!multiLine || !Pop3ReplyOk(pending)) return firstLine + 2;
    const std::size_t found = pending.find(kListEnd, std::max(searchFrom, firstLine));
    searchFrom = pending.size() >= kListEnd.size() ? pending.size() - kListEnd.size() : 0;
    return found == std::string_view::npos ? found : found + kListEnd.size();
}

std::string Pop3Unstuff(std::string_view reply) {
    const std::size_t first = reply.find(kLineEnd);
    std::string text;
    if (first == std::string_view::npos || reply.size() < first + 2 + 3) return text;
    text.reserve(reply.size());
    const std::size_t end = reply.size() - 3;  // keep the last line break, drop ".\r\n"
    for (std::size_t start = first + 2; start < end;) {
        std::size_t next = reply.find(kLineEnd, start);
        next = next == std::string_view::npos || next + 2 > end ? end : next + 2;
        const std::size_t from = reply[start] == '.' ? start + 1 : start;
        text.append(reply.substr(from, next - from));
        start = next;
    }
    return text;
}

bool ParsePop3Pair(std::string_view text, long long maxFirst, long long& first, long long& second) {
    std::size_t pos = 0;
    return ReadNumber(text, pos, maxFirst, first) && ReadNumber(text, pos, LLONG_MAX, second);
}

std::vector<long long> ParsePop3Listing(std::string_view lines, long long maxNumber) {
    std::vector<long long> sizes;
    for (std::size_t start = 0; start < lines.size();) {
        std::size_t end = lines.find(kLineEnd, start);
        if (end == std::string_view::npos) end = lines.size();
        long long number = 0;
        long long size = 0;
        if (ParsePop3Pair(lines.substr(start, end - start), maxNumber, number, size) &&
            number > 0) {
            if (sizes.size() < static_cast<std::size_t>(number))
                sizes.resize(static_cast<std::size_t>(number), 0);
            sizes[static_cast<std::size_t>(number) - 1] = size;
        }
        start = end + 2;
    }
    return sizes;
}

std::size_t SmtpReplyEnd(std::string_view pending) {
    std::size_t start = 0;
    for (std::size_t end; (end = pending.find(kLineEnd, start)) != std::string_view::npos;
         start = end + 2) {
        const std::size_t length = end - start;
        if (length >= 3 && (length == 3 || pending[start + 3] == ' ')) return end + 2;
    }
    return std::string_view::npos;
}

std::vector<std::string> SmtpExtensions(std::string_view reply) {
    std::vector<std::string> extensions;
    for (std::size_t start = reply.find(kLineEnd); start != std::string_view::npos;) {
        const std::size_t end = reply.find(kLineEnd, start + 2);
        if (end == std::string_view::npos) break;
        if (end > start + 6) {
            std::string line(reply.substr(start + 6, end - start - 6));
            for (char& c : line)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            extensions.push_back(std::move(line));
        }
        start = end;
    }
    return extensions;
}

}  // namespace kov
