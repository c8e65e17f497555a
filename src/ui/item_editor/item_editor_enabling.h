#pragma once

#include <array>
#include <string_view>

namespace kov {

// The controls of the item editor whose enabling depends on what is being edited.
enum class EditorControl {
    Name,
    Url,
    UrlTest,       // the test button beside the URL and the test-file-name button
    Series,        // the series switch
    SeriesValues,  // Next NN, Last NN
    Tolerance,     // shared by several rows as well, so also editable in multiple mode
    PageOptions,   // snapshot, banner ripper, DOC-mode, folder rule buttons, "Contains string"
    Replace,       // "Search-Replace..." and "replace immediately after download"
    ContentType,
    Referer,
    SendQuery,
    DateValues,  // Days back, Shift days
    NestedDepth,
    Distributed,
    Upload,
    Count
};

// What the enabling depends on.
struct EditorState {
    std::string_view url;
    int conType = 0;
    bool series = false;
    bool docMode = false;
    bool multiple = false;
    bool isNew = false;
    bool updateItem = false;   // the item the update check made: its name is fixed
    bool enableHttps = false;  // https pages count as http ones
};

using EditorEnabling = std::array<bool, static_cast<std::size_t>(EditorControl::Count)>;

// Which controls are enabled in that state.
EditorEnabling ComputeEditorEnabling(const EditorState& state);

inline bool Enabled(const EditorEnabling& e, EditorControl c) {
    return e[static_cast<std::size_t>(c)];
}

}  // namespace kov
