#include "list_printer.h"

#include <string>

#include "model/list_document.h"

namespace kov::cli {

namespace {

// Tabs and line breaks inside a field would break the table.
std::string Field(const std::string& text) {
    std::string out = text;
    for (char& c : out) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
    }
    return out;
}

}  // namespace

void PrintLists(const ListDocument& document, std::FILE* out) {
    std::fprintf(out, "#\tName\tFile\tFolder\n");
    for (std::size_t i = 0; i < document.ListCount(); ++i) {
        const ListRecord* list = document.GetList(i);
        std::fprintf(out, "%zu%s\t%s\t%s\t%s\n", i + 1, i == document.CurrentIndex() ? "*" : "",
                     Field(list->Name).c_str(), Field(document.ListFilePath(i)).c_str(),
                     Field(list->SaveFolder).c_str());
    }
}

void PrintCurrentList(const ListDocument& document, std::FILE* out) {
    const ListModel& rows = document.Rows();
    std::fprintf(out, "#\tName\tURL\tDestination\tLast download\tDisabled\n");
    const std::time_t never = DefaultLastDownload();
    for (std::size_t i = 0; i < rows.Count(); ++i) {
        const UrlItem& item = rows.At(i).item;
        const std::string last = item.lastDL == never ? "never" : FormatItemDate(item.lastDL);
        std::fprintf(out, "%zu\t%s\t%s\t%s\t%s\t%s\n", i + 1, Field(item.Name).c_str(),
                     Field(item.Url).c_str(), Field(item.Dest).c_str(), last.c_str(),
                     item.Disabled ? "yes" : "no");
    }
}

}  // namespace kov::cli
