#include "output/log_printer.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <nlohmann/json.hpp>

#include "core/text/display_format.h"
#include "core/text/terminal_text.h"
#include "core/text/text_util.h"
#include "model/list_model.h"
#include "net/http/response_headers.h"
#include "session/session_state.h"

namespace kov::cli {

namespace {

constexpr const char* kEraseLine = "\r\x1b[K";

// The file a row is at: the local file's name, else the address's; the item's name (often
// the host) says less.
std::string FileShown(const Row& row) {
    const std::string& path = row.columns[kColumnDest];
    const std::size_t slash = path.find_last_of('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    if (name.empty()) name = FileNameOfUrl(row.columns[kColumnUrl]);
    return name.empty() ? row.item.Name : name;
}

}  // namespace

LogPrinter::LogPrinter(bool json, bool quiet, bool terminal)
    : m_json(json), m_quiet(quiet), m_terminal(terminal && !json && !quiet) {}

bool LogPrinter::IsError(const LogLine& line) {
    return line.image == kLogError || line.image == kLogInternalError || line.image == kLogHalt;
}

void LogPrinter::EraseLive() {
    if (m_live.empty()) return;
    std::fputs(kEraseLine, stdout);
    std::fflush(stdout);
    m_live.clear();
}

void LogPrinter::LineAdded(const LogLine& line) {
    const bool error = IsError(line);
    if (m_quiet && !error) return;
    std::lock_guard<std::mutex> guard(m_lock);
    EraseLive();
    if (m_json) {
        const nlohmann::json object = {
            {"time", line.time}, {"text", line.text}, {"image", line.image}, {"error", error}};
        const std::string text =
            object.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
        std::fprintf(stdout, "%s\n", TerminalSafeJson(text).c_str());
        if (!m_holdLines || error) std::fflush(stdout);
    } else {
        std::FILE* out = error ? stderr : stdout;
        if (error) std::fflush(stdout);  // what came before goes before
        std::fprintf(out, "%s - %s\n", line.time.c_str(), TerminalSafe(line.text).c_str());
        if (!m_holdLines || error) std::fflush(out);
    }
    // The next tick draws the live line again, with what the line just written changed.
}

void LogPrinter::Flush() {
    std::lock_guard<std::mutex> guard(m_lock);
    std::fflush(stdout);
}

void LogPrinter::Note(const std::string& text) {
    std::lock_guard<std::mutex> guard(m_lock);
    EraseLive();
    std::fflush(stdout);
    std::fprintf(stderr, "kov-cli: %s\n", text.c_str());
    std::fflush(stderr);
}

void LogPrinter::ShowLive(const std::string& text) {
    if (!m_terminal) return;
    std::lock_guard<std::mutex> guard(m_lock);
    if (text == m_live) return;
    std::fputs(kEraseLine, stdout);
    std::fputs(text.c_str(), stdout);
    std::fflush(stdout);
    m_live = text;
}

std::string LiveLine(const ListModel& rows, std::size_t width) {
    std::string line;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const Row& row = rows.At(i);
        if (row.runState != RunState::Running) continue;
        std::string part = FileShown(row) + " ";
        if (row.fileSize > 0) {
            const std::uint64_t pos = std::min(row.filePos, row.fileSize);
            part += std::to_string(pos * 100 / row.fileSize) + "%";
        } else {
            part += SizeText(row.filePos);
        }
        if (!row.columns[kColumnSpeed].empty()) part += " " + row.columns[kColumnSpeed];
        if (!row.columns[kColumnTimeRest].empty())
            part += " " + row.columns[kColumnTimeRest] + " left";
        line += (line.empty() ? "" : " | ") + part;
    }
    // Control characters of a name would break the line; a cut keeps it on one row.
    line = TerminalSafe(line);
    if (width > 1 && line.size() >= width) line.resize(Utf8CutLength(line, width - 1));
    return line;
}

std::size_t TerminalWidth() {
    winsize size{};
    if (::ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}

}  // namespace kov::cli
