#include "net/mail/mail_message.h"

#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>

namespace kov {

namespace {

bool HasLineBreak(const std::string& text) {
    return text.find_first_of("\r\n") != std::string::npos;
}

// A unique id for the Message-ID field, so that a receiver can tell a message it saw before.
std::string MessageId(std::time_t now) {
    static std::atomic<unsigned> counter{0};
    char host[81] = "kov";
    gethostname(host, sizeof host - 1);
    char text[160];
    std::snprintf(text, sizeof text, "<%lld.%d.%u.%u@%s>", static_cast<long long>(now),
                  static_cast<int>(getpid()), counter++, static_cast<unsigned>(std::rand()), host);
    return text;
}

}  // namespace

void MailMessage::AddRecipient(std::string address, std::string name) {
    m_recipients.emplace_back(std::move(address), std::move(name));
}

void MailMessage::AddBodyLine(const std::string& line) {
    // CR, LF and CRLF all end a line: a bare LF must not hide a lone "." from dot-stuffing.
    m_body += "\r\n";
    for (std::size_t i = 0; i < line.size(); ++i) {
        if (line[i] == '\r' || line[i] == '\n') {
            if (line[i] == '\r' && i + 1 < line.size() && line[i + 1] == '\n') ++i;
            m_body += "\r\n";
        } else {
            m_body += line[i];
        }
    }
}

std::string MailDate(std::time_t now) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::tm local{};
    localtime_r(&now, &local);
    const long offset = local.tm_gmtoff / 60;  // minutes east of UTC, daylight time included
    const long magnitude = offset < 0 ? -offset : offset;
    char text[64];
    // Four digits for the year: RFC 5322 made two-digit years obsolete, and readers guess the
    // century differently.
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d %c%02ld%02ld",
                  kDays[local.tm_wday], local.tm_mday, kMonths[local.tm_mon], local.tm_year + 1900,
                  local.tm_hour, local.tm_min, local.tm_sec, offset < 0 ? '-' : '+', magnitude / 60,
                  magnitude % 60);
    return text;
}

std::string MailMessage::BuildHeader(std::time_t now) const {
    std::string to;
    for (const auto& [address, name] : m_recipients) {
        if (!to.empty()) to += ",";
        to += name + "<" + address + ">";
    }
    return "Date: " + MailDate(now) + "\r\nFrom: " + m_sender + "\r\nTo: " + to +
           "\r\nSubject: " + m_subject + "\r\nMessage-ID: " + MessageId(now) + "\r\n";
}

bool MailMessage::Prepare(std::string& header, std::string& body, std::string& error) const {
    if (m_recipients.empty()) {
        error = "Message has no recipients";
        return false;
    }
    bool broken = HasLineBreak(m_sender) || HasLineBreak(m_subject);
    for (const auto& [address, name] : m_recipients)
        broken = broken || HasLineBreak(address) || HasLineBreak(name);
    if (broken) {
        error = "A header value holds a line break";
        return false;
    }
    header = BuildHeader(std::time(nullptr));
    // Every line that begins with "." gets one more, so no line can end the data early.
    body.clear();
    body.reserve(m_body.size() + 16);
    for (std::size_t start = 0; start < m_body.size();) {
        std::size_t end = m_body.find("\r\n", start);
        end = end == std::string::npos ? m_body.size() : end + 2;
        if (m_body[start] == '.') body += '.';
        body.append(m_body, start, end - start);
        start = end;
    }
    if (!body.ends_with("\r\n")) body += "\r\n";
    return true;
}

}  // namespace kov
