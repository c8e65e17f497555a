#include "net/mail/pop3_message.h"

#include <algorithm>
#include <cctype>

namespace kov {

namespace {

constexpr const char* kHeaderEnd = "\r\n\r\n";

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

}  // namespace

std::string Pop3Message::GetHeader() const {
    const std::size_t end = m_text.find(kHeaderEnd);
    return end == std::string::npos ? m_text : m_text.substr(0, end);
}

std::string Pop3Message::GetBody() const {
    const std::size_t end = m_text.find(kHeaderEnd);
    return end == std::string::npos ? std::string() : m_text.substr(end + 4);
}

std::string Pop3Message::GetHeaderItem(const std::string& name) const {
    const std::string header = "\r\n" + GetHeader() + "\r\n";
    const std::string key = "\r\n" + name + ":";
    const auto found = std::search(header.begin(), header.end(), key.begin(), key.end(),
                                   [](char a, char b) { return Lower(a) == Lower(b); });
    if (found == header.end()) return {};
    std::string value;
    for (std::size_t i = static_cast<std::size_t>(found - header.begin()) + key.size();
         i < header.size(); ++i) {
        if (header.compare(i, 2, "\r\n") == 0) {
            // A following line that begins with a blank continues the field.
            if (i + 2 < header.size() && (header[i + 2] == ' ' || header[i + 2] == '\t')) {
                ++i;
                continue;
            }
            break;
        }
        // A stray CR or LF is no line break of the field: the value stays one line.
        const char c = header[i];
        value += c == '\t' || c == '\r' || c == '\n' ? ' ' : c;
    }
    const auto first = std::find_if_not(value.begin(), value.end(), IsBlank);
    const auto last = std::find_if_not(value.rbegin(), value.rend(), IsBlank).base();
    return first < last ? std::string(first, last) : std::string();
}

}  // namespace kov
