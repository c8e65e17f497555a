#pragma once

#include <string>

namespace kov {

// One message retrieved by Pop3Connection: its full text (header, empty line, body).
class Pop3Message {
public:
    Pop3Message() = default;
    explicit Pop3Message(std::string text) : m_text(std::move(text)) {}

    const std::string& Text() const { return m_text; }
    // The text before the first empty line, and the text after it.
    std::string GetHeader() const;
    std::string GetBody() const;
    // The value of the header field name (without case), unfolded and trimmed; "" if absent.
    std::string GetHeaderItem(const std::string& name) const;

private:
    std::string m_text;
};

}  // namespace kov
