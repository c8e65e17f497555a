#include "mail_control/query_destination.h"

#include <cstdio>

#include "core/text/text_util.h"
#include "model/url_item.h"
#include "platform/clock.h"

namespace kov {

std::string SafeLastPart(std::string_view dest) {
    const std::size_t cut = dest.find_last_of("/\\:");
    std::string_view last = cut == std::string_view::npos ? dest : dest.substr(cut + 1);
    std::string name = NeutraliseNameChars(last);
    for (char& c : name) {
        if (c == '{' || c == '}') c = '_';
    }
    const std::string_view trimmed = TrimBlanks(name);
    if (trimmed == "." || trimmed == "..") return {};
    return std::string(trimmed);
}

std::string QueryBaseFolder(std::string_view saveFolder, std::string_view defaultFolder) {
    return std::string(saveFolder.size() < 3 ? defaultFolder : saveFolder);
}

std::string PollFolder(std::string_view base, std::time_t now) {
    const CalendarTime t = LocalTime(now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "%04d%02d%02d-%02d%02d%02d", t.year, t.month, t.day, t.hour,
                  t.minute, t.second);
    std::string folder(base);
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder + stamp;
}

std::string QueryItemDest(std::string_view pollFolder, int number, std::string_view dest) {
    std::string folder = std::string(pollFolder) + "-" + std::to_string(number) + "/";
    const std::string name = SafeLastPart(dest);
    const std::size_t room =
        folder.size() < UrlItem::kDestCapacity ? UrlItem::kDestCapacity - folder.size() : 0;
    return folder + CapText(name, room);
}

}  // namespace kov
