#include "mail_control/seen_messages.h"

#include <cstdint>
#include <cstdio>

#include "core/text/text_util.h"
#include "platform/file_util.h"

namespace kov {

SeenMessages::SeenMessages(std::string path, std::size_t capacity)
    : m_path(std::move(path)), m_capacity(capacity == 0 ? 1 : capacity) {}

std::string SeenMessages::Clean(std::string_view key) {
    std::string out;
    for (char c : TrimBlanks(key)) {
        // One key per line: a key can never split into two or hide another.
        if (static_cast<unsigned char>(c) > 0x20 && c != 0x7f) out += c;
    }
    return CapText(out, kMaxKeyLength);
}

bool SeenMessages::Load() {
    m_order.clear();
    m_keys.clear();
    m_unreadable = false;
    if (!FileExists(m_path)) return true;
    const std::optional<std::string> text = ReadFile(m_path);
    if (!text) {
        m_unreadable = true;
        return false;
    }
    std::size_t pos = 0;
    while (pos < text->size()) {
        std::size_t end = text->find('\n', pos);
        if (end == std::string::npos) end = text->size();
        Add(std::string_view(*text).substr(pos, end - pos));
        pos = end + 1;
    }
    return true;
}

bool SeenMessages::Save() {
    if (m_unreadable) return false;
    std::string text;
    for (const std::string& key : m_order)
        text += key + "\n";
    return WriteFileAtomic(m_path, text);
}

bool SeenMessages::Contains(std::string_view key) const {
    return m_keys.count(Clean(key)) != 0;
}

void SeenMessages::Add(std::string_view key) {
    std::string clean = Clean(key);
    if (clean.empty() || m_keys.count(clean) != 0) return;
    m_keys.insert(clean);
    m_order.push_back(std::move(clean));
    while (m_order.size() > m_capacity) {
        m_keys.erase(m_order.front());
        m_order.pop_front();
    }
}

std::string SeenMessages::KeyOf(const MailText& mail) {
    std::string_view id = TrimBlanks(mail.messageId);
    if (id.size() >= 2 && id.front() == '<' && id.back() == '>') id = id.substr(1, id.size() - 2);
    if (!Clean(id).empty()) return Clean(id);
    // FNV-1a: stable across runs and builds, unlike std::hash.
    std::uint64_t hash = 14695981039346656037ull;
    for (const std::string* part : {&mail.from, &mail.subject, &mail.body}) {
        for (unsigned char c : *part)
            hash = (hash ^ c) * 1099511628211ull;
        hash = (hash ^ 0xff) * 1099511628211ull;
    }
    char text[32];
    std::snprintf(text, sizeof text, "hash:%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace kov
