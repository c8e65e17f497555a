#include "session/item_edits.h"

#include "core/text/text_util.h"
#include "model/item_fields.h"
#include "model/list_document.h"
#include "session/url_as_template.h"

namespace kov {

ItemRefusal CheckNewItems(const NewItemsRequest& request, bool enableHttps) {
    UrlItem probe;
    for (const std::string& url : request.urls) {
        std::string e = UnsupportedScheme(url, enableHttps);
        if (e.empty()) e = SetItemField(probe, "Url", url);
        if (!e.empty()) return {"url", url, e};
    }
    if (std::string e = SetItemField(probe, "Name", request.name); !e.empty())
        return {"name", request.name, e};
    if (std::string e = SetItemField(probe, "Dest", request.dest); !e.empty())
        return {"dest", request.dest, e};
    return {};
}

UrlItem MakeRequestedItem(const ListDocument& doc, const std::string& url,
                          const NewItemsRequest& request, const AppSettings& settings,
                          std::time_t now, std::string& note) {
    UrlItem item = doc.MakeNewItem(url);
    note.clear();
    if (request.asTemplate) note = MakeTemplateItem(url, item, settings, now);
    if (!request.name.empty()) item.Name = request.name;
    if (!request.dest.empty()) item.Dest = request.dest;
    return item;
}

std::string SetCheckedKey(UrlItem& item, std::string_view key, std::string_view value,
                          bool enableHttps) {
    if (IEquals(key, "Url") && !value.empty()) {
        if (std::string e = UnsupportedScheme(value, enableHttps); !e.empty()) return e;
    }
    return SetItemField(item, key, value);
}

}  // namespace kov
