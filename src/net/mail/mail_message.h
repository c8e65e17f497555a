#pragma once

#include <ctime>
#include <string>
#include <utility>
#include <vector>

namespace kov {

// One outgoing mail: sender, subject, recipients and body lines. Sent by SmtpConnection,
// which calls Prepare for the wire text.
class MailMessage {
public:
    void SetSender(std::string address) { m_sender = std::move(address); }
    void SetSubject(std::string subject) { m_subject = std::move(subject); }
    void AddRecipient(std::string address, std::string name = {});
    // Appends "\r\n" and the line; a line break inside it starts further lines.
    void AddBodyLine(const std::string& line);

    const std::string& Sender() const { return m_sender; }
    const std::string& Subject() const { return m_subject; }
    const std::vector<std::pair<std::string, std::string>>& Recipients() const {
        return m_recipients;
    }
    const std::string& Body() const { return m_body; }

    // Builds the header (dated now) and the dot-stuffed body ending with a line break. False,
    // with the reason in error, when there is no recipient or a header value holds a CR or LF
    // (it would inject header lines).
    bool Prepare(std::string& header, std::string& body, std::string& error) const;
    // The header as of the given moment, local time.
    std::string BuildHeader(std::time_t now) const;

private:
    std::string m_sender;
    std::string m_subject;
    std::vector<std::pair<std::string, std::string>> m_recipients;
    std::string m_body;
};

// "%a, %d %b %Y %H:%M:%S +hhmm" in English for the local time of now.
std::string MailDate(std::time_t now);

}  // namespace kov
