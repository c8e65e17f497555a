#include "commands/dry_run.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/text/terminal_text.h"
#include "core/text/text_util.h"
#include "model/item_fields.h"
#include "model/list_document.h"
#include "model/local_path.h"
#include "model/macro_expander.h"
#include "model/url_template.h"
#include "platform/clock.h"

namespace kov::cli {

namespace {

constexpr std::time_t kDay = 86400;
// A long series is shown by its first numbers and its last.
constexpr std::int64_t kShownNumbers = 10;

// Why a session would not queue the item; "" when it would. The same rules as the session's.
std::string NotDueReason(const UrlItem& item, std::time_t now) {
    CalendarTime c = LocalTime(now);
    c.hour = c.minute = 0;
    c.second = 4;
    const std::time_t dayStart = MakeTime(c);
    if (item.Disabled) return "disabled";
    if (item.CEType == 1) return "kept for e-mail (CEType 1)";
    const std::time_t next = item.lastDL + static_cast<std::time_t>(item.interval) * kDay;
    if (item.interval != 0 && dayStart < next) {
        return "not due before " + FormatItemDate(next) + " (interval " +
               std::to_string(item.interval) + ", last download " + FormatItemDate(item.lastDL) +
               ")";
    }
    if (item.NumBased && item.StopNumber > 0 && item.CurrentNum > item.StopNumber) {
        return "series done (CurrentNum " + std::to_string(item.CurrentNum) + " > StopNumber " +
               std::to_string(item.StopNumber) + ")";
    }
    return "";
}

// One pass: the address and the local file for a moment and the item's CurrentNum.
class PassPrinter {
public:
    PassPrinter(const UrlItem& item, const AppSettings& settings, MacroContext macros,
                std::FILE* out)
        : m_item(item),
          m_https(settings.EnableHttps != 0),
          m_macros(std::move(macros)),
          m_out(out) {
        std::string dest;
        if (!ExpandMacros(dest, UrlItem::kDestCapacity, "", item.Dest, kPathMacroSet, m_macros))
            dest = item.Dest;
        m_intoFolder = !dest.empty() && (dest.back() == '/' || dest.back() == '\\');
    }

    void Print(std::time_t t, std::int32_t number) {
        UrlItem item = m_item;
        item.CurrentNum = number;
        const std::string url = ExpandTemplate(item.Url, t, number, true);
        std::string path = MakeLocalPath(item, t, "", m_macros);
        if (m_intoFolder) path = ShtmlAsHtm(path);
        std::string note;
        const std::string scheme = UnsupportedScheme(url, m_https);
        const std::string name = url.substr(url.find_last_of('/') + 1);
        if (!scheme.empty()) {
            note = "  (would fail: " + scheme + ")";
        } else if (IStartsWith(url, "ftp://") && name.find_first_of("*?") != std::string::npos) {
            // The server's listing decides the files; each keeps its own name.
            path = path.substr(0, path.find_last_of('/') + 1) + "<each file matching " + name + ">";
        }
        std::fprintf(m_out, "  %s -> %s%s\n", TerminalSafe(url).c_str(), TerminalSafe(path).c_str(),
                     TerminalSafe(note).c_str());
    }

private:
    // A page saved into a folder under a ".shtm..." name is kept as ".htm", as a session does.
    static std::string ShtmlAsHtm(const std::string& path) {
        const std::size_t dot = path.rfind('.');
        const std::size_t slash = path.find_last_of('/');
        if (dot != std::string::npos && (slash == std::string::npos || dot > slash) &&
            IStartsWith(std::string_view(path).substr(dot), ".shtm")) {
            return path.substr(0, dot) + ".htm";
        }
        return path;
    }

    const UrlItem& m_item;
    const bool m_https;
    const MacroContext m_macros;
    std::FILE* m_out;
    bool m_intoFolder = false;
};

// The passes of a due item, as the session walks them.
void PrintPasses(const UrlItem& item, const AppSettings& settings, const MacroContext& macros,
                 std::time_t now, std::FILE* out) {
    PassPrinter pass(item, settings, macros, out);
    const std::time_t t = now - static_cast<std::time_t>(item.dayShift) * kDay;
    const bool templated = item.Url.find('%') != std::string::npos;
    if (item.NumBased && templated) {
        const std::int64_t first = item.CurrentNum;
        const bool open = item.StopNumber == 0;
        // A series ends at the largest number an item can hold; it does not wrap around.
        const std::int64_t last =
            open ? std::min<std::int64_t>(first + std::max(item.Tolerance, 2), INT32_MAX)
                 : item.StopNumber;
        for (std::int64_t n = first; n <= last && n < first + kShownNumbers; ++n)
            pass.Print(t, static_cast<std::int32_t>(n));
        if (last >= first + kShownNumbers + 1) {
            std::fprintf(out, "  ... %lld more\n",
                         static_cast<long long>(last - first - kShownNumbers));
        }
        if (last >= first + kShownNumbers) pass.Print(t, static_cast<std::int32_t>(last));
        if (open) std::fprintf(out, "  ... and on while files are found\n");
        return;
    }
    // Earlier days are walked only when the update mode fetches again anyway.
    const bool walk = templated && item.interval != -1 && item.UpdateMode != kUpdateAuto;
    const int passes = 1 + (walk ? item.days : 0);
    for (int day = 0; day < passes; ++day)
        pass.Print(t - day * kDay, item.CurrentNum);
}

// What kind of item it is, for its heading.
std::string Describe(const UrlItem& item) {
    std::vector<std::string> parts;
    if (item.NumBased && item.Url.find('%') != std::string::npos) {
        std::string series = "numbers " + std::to_string(item.CurrentNum) + "..";
        series += item.StopNumber > 0 ? std::to_string(item.StopNumber) : "";
        parts.push_back(series + ", tolerance " + std::to_string(item.Tolerance));
    }
    if (item.dayShift != 0) parts.push_back("dayShift " + std::to_string(item.dayShift));
    if (item.days > 0 && !item.NumBased) parts.push_back("days back " + std::to_string(item.days));
    if (item.WithPics) parts.push_back("with the page's pictures and frames");
    if (item.WithLinks)
        parts.push_back("with linked pages, depth " + std::to_string(item.NestedDepth));
    if (item.Upload && !item.UploadServer.empty())
        parts.push_back("upload to " + item.UploadServer);
    if (!item.Cmd.empty()) parts.push_back("then runs: " + item.Cmd);
    std::string text;
    for (const std::string& p : parts)
        text += (text.empty() ? " (" : ", ") + p;
    return text.empty() ? text : text + ")";
}

}  // namespace

void PrintDryRun(const ListDocument& doc, const AppSettings& settings, std::time_t now,
                 std::FILE* out) {
    MacroContext macros = doc.Macros();
    macros.now = now;
    const ListModel& rows = doc.Rows();
    std::size_t due = 0;
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const UrlItem& item = rows.At(i).item;
        const std::string reason = NotDueReason(item, now);
        if (!reason.empty()) {
            std::fprintf(out, "%zu %s: %s\n", i + 1, TerminalSafe(item.Name).c_str(),
                         TerminalSafe(reason).c_str());
            continue;
        }
        ++due;
        std::fprintf(out, "%zu %s%s\n", i + 1, TerminalSafe(item.Name).c_str(),
                     TerminalSafe(Describe(item)).c_str());
        PrintPasses(item, settings, macros, now, out);
    }
    std::fprintf(out, "dry run: %zu of %zu item%s due; nothing was fetched\n", due, rows.Count(),
                 rows.Count() == 1 ? "" : "s");
}

}  // namespace kov::cli
