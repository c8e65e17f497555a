#pragma once

#include <cstddef>
#include <ctime>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "core/settings/app_settings.h"
#include "platform/unique_fd.h"

namespace kov {

// One line of the log pane.
struct LogLine {
    std::string time;  // "dd.mm.yyyy hh:mm:ss", local time
    std::string text;
    int image = 0;  // a LogImage
};

// Views of the log. Called after the change is stored, never under the log's data lock, in
// the order of the changes; a listener may read the log (Lines, Count) from its callback.
class EventLogListener {
public:
    virtual ~EventLogListener() = default;
    virtual void LineAdded(const LogLine& /*line*/) {}
    virtual void Cleared() {}
};

// The log pane's lines plus the log file Kov.log. Thread-safe.
class EventLog {
public:
    static constexpr std::size_t kMaxPaneLines = 400;  // one more line clears the pane
    static constexpr std::size_t kSavedTimeCapacity = 31;
    static constexpr std::size_t kSavedTextCapacity = 499;

    // settings must outlive the log; WriteLog, LogDetail and MaxLogSize are read at each use.
    // now: the clock for time stamps (empty: the system clock).
    EventLog(const AppSettings& settings, std::string logFilePath,
             std::function<std::time_t()> now = {});
    ~EventLog();
    EventLog(const EventLog&) = delete;
    EventLog& operator=(const EventLog&) = delete;

    // Adds a line to the pane and, when WriteLog is on and fileFlag >= 1, to the log file.
    // Control characters in text (line breaks, escapes) become blanks.
    void AddLine(const std::string& text, int fileFlag, int image);

    // Closes the log file; the next written line opens it again (and cuts it to size first).
    void CloseFile();

    // Deletes all lines of the pane (the log file is not touched).
    void Clear();
    std::vector<LogLine> Lines() const;
    std::size_t Count() const;

    // Writes the pane's lines to path as "time : text" lines. False on failure.
    bool SaveTo(const std::string& path) const;

    void AddListener(EventLogListener* listener);
    // After it returns the listener is not called any more; a listener may remove itself or
    // another one from a callback.
    void RemoveListener(EventLogListener* listener);

    const std::string& FilePath() const { return m_path; }

private:
    std::string TimeStamp();                    // under m_notifyMutex
    void WriteToFile(const std::string& line);  // under m_mutex
    bool Listening(EventLogListener* listener) const;

    const AppSettings& m_settings;
    const std::string m_path;
    const std::function<std::time_t()> m_now;

    // Serialises the notifications so that listeners see changes in their order; recursive
    // so that a listener may add a line or remove itself.
    mutable std::recursive_mutex m_notifyMutex;
    mutable std::mutex m_mutex;  // the data below
    std::vector<LogLine> m_lines;
    std::vector<EventLogListener*> m_listeners;
    UniqueFd m_fd;
    // The last stamp made, for the lines of the same second (under m_notifyMutex).
    std::time_t m_stampTime = -1;
    std::string m_stamp;
};

}  // namespace kov
