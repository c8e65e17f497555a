#include "session/event_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string_view>

#include "core/text/text_util.h"
#include "platform/atomic_file_writer.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "platform/unique_fd.h"

namespace kov {

namespace {

// Keeps the part of the file after the first line feed within its last limit bytes. The cut
// copy replaces the file by a rename, so any failure leaves the file as it was.
void CutToTail(const std::string& path, std::int64_t limit) {
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size <= limit) return;
    const UniqueFd in(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.Valid() || ::lseek(in.Get(), static_cast<off_t>(st.st_size - limit), SEEK_SET) < 0) {
        return;
    }
    AtomicFileWriter out;
    if (!out.Open(path, static_cast<unsigned>(st.st_mode & 07777))) return;
    bool lineStarted = false;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(in.Get(), buffer, sizeof buffer);
        if (n < 0) {
            if (errno == EINTR) continue;
            return;  // the writer removes its temporary file
        }
        if (n == 0) break;
        std::string_view chunk(buffer, static_cast<std::size_t>(n));
        if (!lineStarted) {
            const std::size_t lf = chunk.find('\n');
            if (lf == std::string_view::npos) continue;
            chunk.remove_prefix(lf + 1);
            lineStarted = true;
        }
        out.Write(chunk);
    }
    out.Commit();
}

// Control characters (C0, DEL, and C1 in their UTF-8 form) become blanks: texts from servers
// reach the pane, a terminal and the file, and none of them may be steered by such a text.
std::string Printable(const std::string& text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || c == 0x7F) {
            result += ' ';
        } else if (c == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            result += ' ';
            ++i;
        } else {
            result += text[i];
        }
    }
    return result;
}

}  // namespace

EventLog::EventLog(const AppSettings& settings, std::string logFilePath,
                   std::function<std::time_t()> now)
    : m_settings(settings), m_path(std::move(logFilePath)), m_now(std::move(now)) {}

EventLog::~EventLog() {
    CloseFile();
}

std::string EventLog::TimeStamp() {
    // A busy session writes many lines a second: they share one conversion.
    const std::time_t now = m_now ? m_now() : std::time(nullptr);
    if (now == m_stampTime) return m_stamp;
    const CalendarTime t = LocalTime(now);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%02d.%02d.%d %02d:%02d:%02d", t.day, t.month, t.year,
                  t.hour, t.minute, t.second);
    m_stampTime = now;
    m_stamp = buffer;
    return m_stamp;
}

void EventLog::AddLine(const std::string& text, int fileFlag, int image) {
    std::lock_guard notifyLock(m_notifyMutex);
    LogLine line{TimeStamp(), Printable(text), image};
    bool cleared = false;
    std::vector<EventLogListener*> listeners;
    {
        std::lock_guard lock(m_mutex);
        if (m_lines.size() > kMaxPaneLines) {
            m_lines.clear();
            cleared = true;
        }
        m_lines.push_back(line);
        if (m_settings.WriteLog != 0 && fileFlag >= 1) {
            WriteToFile(line.time + " - " + line.text + "\n");
        }
        listeners = m_listeners;
    }
    for (EventLogListener* listener : listeners) {
        if (cleared && Listening(listener)) listener->Cleared();
        if (Listening(listener)) listener->LineAdded(line);
    }
}

void EventLog::WriteToFile(const std::string& data) {
    if (!m_fd.Valid()) {
        if (m_path.empty()) return;
        // A negative size would cut everything; only a positive limit cuts.
        if (m_settings.MaxLogSize > 0) {
            CutToTail(m_path, static_cast<std::int64_t>(m_settings.MaxLogSize) * 1024);
        }
        m_fd.Reset(::open(m_path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644));
        if (!m_fd.Valid()) return;  // the line stays in the pane only
    }
    // One write per line, so that lines never interleave with another writer of the file.
    WriteAll(m_fd.Get(), data);
}

void EventLog::CloseFile() {
    std::lock_guard lock(m_mutex);
    m_fd.Reset();
}

void EventLog::Clear() {
    std::lock_guard notifyLock(m_notifyMutex);
    std::vector<EventLogListener*> listeners;
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
        listeners = m_listeners;
    }
    for (EventLogListener* listener : listeners) {
        if (Listening(listener)) listener->Cleared();
    }
}

std::vector<LogLine> EventLog::Lines() const {
    std::lock_guard lock(m_mutex);
    return m_lines;
}

std::size_t EventLog::Count() const {
    std::lock_guard lock(m_mutex);
    return m_lines.size();
}

bool EventLog::SaveTo(const std::string& path) const {
    std::string data;
    for (const LogLine& line : Lines()) {
        if (line.text.empty()) continue;
        data += CapText(line.time, kSavedTimeCapacity);
        data += " : ";
        data += CapText(line.text, kSavedTextCapacity);
        data += '\n';
    }
    return WriteFileAtomic(path, data, 0644);
}

bool EventLog::Listening(EventLogListener* listener) const {
    std::lock_guard lock(m_mutex);
    return std::find(m_listeners.begin(), m_listeners.end(), listener) != m_listeners.end();
}

void EventLog::AddListener(EventLogListener* listener) {
    if (listener == nullptr) return;
    std::lock_guard notifyLock(m_notifyMutex);
    std::lock_guard lock(m_mutex);
    if (std::find(m_listeners.begin(), m_listeners.end(), listener) == m_listeners.end()) {
        m_listeners.push_back(listener);
    }
}

void EventLog::RemoveListener(EventLogListener* listener) {
    std::lock_guard notifyLock(m_notifyMutex);
    std::lock_guard lock(m_mutex);
    m_listeners.erase(std::remove(m_listeners.begin(), m_listeners.end(), listener),
                      m_listeners.end());
}

}  // namespace kov
