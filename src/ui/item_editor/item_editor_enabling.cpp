#include "ui/item_editor/item_editor_enabling.h"

#include <cctype>

namespace kov {

namespace {

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i]) return false;
    }
    return true;
}

}  // namespace

EditorEnabling ComputeEditorEnabling(const EditorState& s) {
    const bool http = StartsWithNoCase(s.url, "http://") ||
                      (s.enableHttps && StartsWithNoCase(s.url, "https://"));
    const bool text = s.conType == 1;
    const bool multi = s.multiple;
    const bool single = !multi || s.isNew;
    const bool hasToken = s.url.find('%') != std::string_view::npos;

    EditorEnabling e{};
    auto set = [&e](EditorControl c, bool on) { e[static_cast<std::size_t>(c)] = on; };
    set(EditorControl::Name, single && !s.updateItem);
    set(EditorControl::Url, single);
    set(EditorControl::UrlTest, !multi);
    set(EditorControl::Series, !multi);
    set(EditorControl::SeriesValues, s.series && !multi);
    set(EditorControl::Tolerance, s.series);
    set(EditorControl::PageOptions, http && text);
    set(EditorControl::Replace, text);
    set(EditorControl::ContentType, http && single);
    set(EditorControl::Referer, http);
    set(EditorControl::SendQuery, !multi);
    set(EditorControl::DateValues, hasToken && !s.series);
    set(EditorControl::NestedDepth, s.docMode && http);
    set(EditorControl::Distributed, !s.series && !s.url.starts_with("file://") && !multi);
    set(EditorControl::Upload, !multi);
    return e;
}

}  // namespace kov
