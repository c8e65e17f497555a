#pragma once

#include <cstdio>
#include <mutex>
#include <string>

#include "session/event_log.h"

namespace kov {
class ListModel;
}

namespace kov::cli {

// Writes the session log as the terminal user or a script wants it: "time - text" lines, error
// lines to standard error and the rest to standard output, or one JSON object per line; with
// quiet only the error lines. On a terminal a live line below the log shows the running files;
// a log line takes its place until the next ShowLive.
class LogPrinter : public EventLogListener {
public:
    LogPrinter(bool json, bool quiet, bool terminal);

    void LineAdded(const LogLine& line) override;
    // Replaces the live line; "" erases it. Nothing happens off a terminal.
    void ShowLive(const std::string& text);

    // On: standard output's lines wait in its buffer until Flush or an error line (which keeps
    // the order of the two streams), for a caller that calls Flush a few times a second. Off a
    // terminal one write per line costs a session of many small files more than it is worth.
    void SetHoldLines(bool on) { m_holdLines = on; }
    // Writes out the lines waiting for standard output.
    void Flush();

    // A word of kov-cli itself ("kov-cli: text") on standard error, where no log line goes.
    void Note(const std::string& text);

    // Whether a log line reports an error.
    static bool IsError(const LogLine& line);

private:
    void EraseLive();  // under m_lock

    const bool m_json;
    const bool m_quiet;
    const bool m_terminal;
    bool m_holdLines = false;
    std::mutex m_lock;
    std::string m_live;
};

// The live line for the running rows: for each, the name of its current file, percent of the file
// (or the bytes so far when the size is unknown), speed and time left; cut to width characters.
std::string LiveLine(const ListModel& rows, std::size_t width);

// The width of the terminal on standard output; 80 when unknown.
std::size_t TerminalWidth();

}  // namespace kov::cli
