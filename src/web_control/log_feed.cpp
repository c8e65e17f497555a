#include "web_control/log_feed.h"

#include "session/session_state.h"
#include "web_control/api_reply.h"
#include "web_control/event_hub.h"

namespace kov {

LogFeed::LogFeed(EventLog& log, EventHub& hub) : m_log(log), m_hub(hub) {
    m_log.AddListener(this);
}

LogFeed::~LogFeed() {
    m_log.RemoveListener(this);
}

void LogFeed::LineAdded(const LogLine& line) {
    nlohmann::json entry{
        {"time", IsoTime(line.time)}, {"text", line.text}, {"kind", Kind(line.image)}};
    {
        std::lock_guard<std::mutex> hold(m_lock);
        entry["seq"] = ++m_last;
        m_lines.push_back(entry);
        if (m_lines.size() > kKeep) m_lines.pop_front();
    }
    // The log serialises its listeners, so the stream sees the lines in their order.
    m_hub.Publish("log", JsonText(entry));
}

nlohmann::json LogFeed::After(std::uint64_t after) const {
    std::lock_guard<std::mutex> hold(m_lock);
    nlohmann::json lines = nlohmann::json::array();
    for (const nlohmann::json& line : m_lines) {
        if (line["seq"].get<std::uint64_t>() > after) lines.push_back(line);
    }
    return {{"lines", std::move(lines)}, {"next", m_last}};
}

const char* LogFeed::Kind(int image) {
    switch (image) {
        case kLogSuccess:
            return "success";
        case kLogInternalError:
        case kLogError:
            return "error";
        case kLogSessionStart:
            return "session";
        case kLogStopped:
        case kLogHalt:
            return "stopped";
        case kLogDeleted:
            return "deleted";
        case kLogConnectionClosed:
            return "connection";
        case kLogResumed:
            return "resumed";
        case kLogMail:
            return "mail";
        default:
            return "info";
    }
}

std::string LogFeed::IsoTime(const std::string& t) {
    // 0123456789012345678
    // dd.mm.yyyy hh:mm:ss
    if (t.size() != 19 || t[2] != '.' || t[5] != '.' || t[10] != ' ') return t;
    return t.substr(6, 4) + "-" + t.substr(3, 2) + "-" + t.substr(0, 2) + "T" + t.substr(11);
}

}  // namespace kov
