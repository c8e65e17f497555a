#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>

#include <nlohmann/json.hpp>

#include "session/event_log.h"

namespace kov {

class EventHub;

// The log as the API reads it: each line gets a sequence number from 1 on, the last kKeep lines
// are kept for GET /log?after=N, and every line goes to the event stream. The log calls it on
// whatever thread added the line; its own lock guards only its copy of the lines.
class LogFeed : public EventLogListener {
public:
    static constexpr std::size_t kKeep = 1000;

    LogFeed(EventLog& log, EventHub& hub);
    ~LogFeed() override;
    LogFeed(const LogFeed&) = delete;
    LogFeed& operator=(const LogFeed&) = delete;

    void LineAdded(const LogLine& line) override;

    // {"lines": [{"seq","time","text","kind"}...], "next": the number to ask after next}.
    nlohmann::json After(std::uint64_t after) const;

    // The kind of a log image: "info", "success", "error", "session", ...
    static const char* Kind(int image);
    // "dd.mm.yyyy hh:mm:ss" as "yyyy-mm-ddThh:mm:ss"; other texts stay as they are.
    static std::string IsoTime(const std::string& logTime);

private:
    EventLog& m_log;
    EventHub& m_hub;
    mutable std::mutex m_lock;
    std::deque<nlohmann::json> m_lines;
    std::uint64_t m_last = 0;  // the number of the newest line
};

}  // namespace kov
