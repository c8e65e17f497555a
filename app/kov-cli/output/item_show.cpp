#include "output/item_show.h"

#include <nlohmann/json.hpp>
#include <string>

#include "core/text/terminal_text.h"
#include "model/item_fields.h"
#include "model/url_item.h"

namespace kov::cli {

void PrintItem(const UrlItem& item, std::size_t number, bool json, std::FILE* out) {
    const std::vector<FieldValue> values = ItemFieldValues(item);
    if (!json) {
        std::fprintf(out, "[item %zu]\n", number);
        for (const FieldValue& v : values)
            std::fprintf(out, "%s=%s\n", v.key.c_str(), TerminalSafe(v.text).c_str());
        return;
    }
    // In list-file order, so that the object reads like the file.
    nlohmann::ordered_json object;
    object["item"] = number;
    for (const FieldValue& v : values) {
        const bool numeric = v.kind == FieldKind::Integer || v.kind == FieldKind::Flag;
        if (numeric) {
            object[v.key] = v.number;
        } else {
            object[v.key] = v.text;
        }
    }
    // Replace invalid UTF-8 (a hand-edited list file) rather than throw.
    const std::string text =
        object.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    std::fprintf(out, "%s\n", TerminalSafeJson(text).c_str());
}

}  // namespace kov::cli
