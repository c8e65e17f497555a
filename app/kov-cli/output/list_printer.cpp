#include "output/list_printer.h"

#include <nlohmann/json.hpp>
#include <string>

#include "core/text/terminal_text.h"
#include "model/list_document.h"

namespace kov::cli {

namespace {

// Tabs and line breaks inside a field would break the table, escape sequences the terminal.
std::string Field(const std::string& text) {
    return TerminalSafe(text);
}

// Field(text) appended to line: printable ASCII, as nearly every field is, as it stands.
void AppendField(std::string& line, const std::string& text) {
    for (const char c : text) {
        if (c < 0x20 || c > 0x7E) {
            line += TerminalSafe(text);
            return;
        }
    }
    line += text;
}

// Names from older list files may be in another encoding than UTF-8; such bytes become U+FFFD
// rather than ending the program.
void PrintJson(const nlohmann::json& value, std::FILE* out) {
    const std::string text = value.dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
    std::fprintf(out, "%s\n", TerminalSafeJson(text).c_str());
}

}  // namespace

void PrintLists(const ListDocument& document, ListFormat format, std::FILE* out) {
    nlohmann::json rows = nlohmann::json::array();
    if (format == ListFormat::Table) std::fprintf(out, "#\tName\tFile\tFolder\n");
    for (std::size_t i = 0; i < document.ListCount(); ++i) {
        const ListRecord* list = document.GetList(i);
        const bool current = i == document.CurrentIndex();
        if (format == ListFormat::Json) {
            rows.push_back({{"number", i + 1},
                            {"name", list->Name},
                            {"file", document.ListFilePath(i)},
                            {"folder", list->SaveFolder},
                            {"current", current}});
            continue;
        }
        std::fprintf(out, "%zu%s\t%s\t%s\t%s\n", i + 1, current ? "*" : "",
                     Field(list->Name).c_str(), Field(document.ListFilePath(i)).c_str(),
                     Field(list->SaveFolder).c_str());
    }
    if (format == ListFormat::Json) PrintJson(rows, out);
}

void PrintCurrentList(const ListDocument& document, ListFormat format, std::FILE* out) {
    const ListModel& model = document.Rows();
    nlohmann::json rows = nlohmann::json::array();
    if (format == ListFormat::Table)
        std::fprintf(out, "#\tName\tURL\tDestination\tLast download\tDisabled\n");
    const std::time_t never = DefaultLastDownload();
    std::string text;
    for (std::size_t i = 0; i < model.Count(); ++i) {
        const UrlItem& item = model.At(i).item;
        const bool downloaded = item.lastDL != never;
        if (format == ListFormat::Json) {
            rows.push_back(
                {{"number", i + 1},
                 {"name", item.Name},
                 {"url", item.Url},
                 {"destination", item.Dest},
                 {"lastDownload", downloaded ? nlohmann::json(FormatItemDate(item.lastDL))
                                             : nlohmann::json(nullptr)},
                 {"disabled", item.Disabled != 0}});
            continue;
        }
        // Rows go out in blocks: a 10,000-item list is a megabyte, and stdio's own buffer
        // of a pipe or file would write it in hundreds of pieces.
        if (text.size() > (64 << 10)) {
            std::fwrite(text.data(), 1, text.size(), out);
            text.clear();
        }
        text += std::to_string(i + 1);
        for (const std::string* field : {&item.Name, &item.Url, &item.Dest}) {
            text += '\t';
            AppendField(text, *field);
        }
        text += '\t';
        text += downloaded ? FormatItemDate(item.lastDL) : "never";
        text += item.Disabled ? "\tyes\n" : "\tno\n";
    }
    std::fwrite(text.data(), 1, text.size(), out);
    if (format == ListFormat::Json) PrintJson(rows, out);
}

}  // namespace kov::cli
