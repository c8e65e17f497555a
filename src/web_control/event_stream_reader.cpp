#include "web_control/event_stream_reader.h"

namespace kov {

bool EventStreamReader::Feed(std::string_view piece) {
    for (const char c : piece) {
        if (m_stopped) return false;
        // "\r\n" is one line end: the "\n" after a "\r" that ended a line is dropped.
        const bool skip = m_afterCr && c == '\n';
        m_afterCr = c == '\r';
        if (skip) continue;
        if (c == '\r' || c == '\n') {
            m_stopped = !Line(m_line);
            m_line.clear();
            continue;
        }
        if (m_line.size() >= kMaxLine) return !(m_stopped = true);
        m_line += c;
    }
    return !m_stopped;
}

bool EventStreamReader::Line(std::string_view line) {
    if (line.empty()) {
        const bool go = !m_hasData || m_handler(m_name.empty() ? "message" : m_name, m_data);
        m_name.clear();
        m_data.clear();
        m_hasData = false;
        return go;
    }
    if (line.front() == ':') return true;  // a comment
    const std::size_t colon = line.find(':');
    const std::string_view field = line.substr(0, colon);
    std::string_view value = colon == std::string_view::npos ? "" : line.substr(colon + 1);
    if (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    if (field == "event") {
        m_name = value;
    } else if (field == "data") {
        if (m_hasData) m_data += '\n';
        m_data += value;
        m_hasData = true;
    }
    return true;
}

}  // namespace kov
