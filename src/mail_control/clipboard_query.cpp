#include "mail_control/clipboard_query.h"

#include "core/text/text_util.h"
#include "mail_control/query_destination.h"
#include "model/exchange_format.h"

namespace kov {

std::vector<UrlItem> ItemsFromClipboardText(std::string_view text, const std::string& programFolder,
                                            std::time_t now) {
    if (text.find("<URLIST>") == std::string_view::npos) return {};
    std::vector<UrlItem> items = ReadBlock(text, now);
    std::string folder = programFolder;
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    folder = PollFolder(folder + "EmailQry/", now) + "/";
    for (UrlItem& item : items) {
        item.Dest = CapText(folder + SafeLastPart(item.Dest), UrlItem::kDestCapacity);
    }
    return items;
}

}  // namespace kov
