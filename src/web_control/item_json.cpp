#include "web_control/item_json.h"

#include <cstdio>

namespace kov {

namespace {

nlohmann::json Total(const Row& row) {
    return row.fileSize == 0 ? nlohmann::json(nullptr) : nlohmann::json(row.fileSize);
}

}  // namespace

nlohmann::json ItemJson(const Row& row, std::size_t list, std::size_t index,
                        const ItemFacts& facts) {
    const UrlItem& item = row.item;
    nlohmann::json error = nullptr;
    if (facts.failure) error = {{"text", facts.failure->text}, {"cause", facts.failure->cause}};
    // Items never fetched keep the 1990 date of the list file.
    nlohmann::json last = nullptr;
    if (item.lastDL > DefaultLastDownload()) last = LocalTimeText(item.lastDL);
    return {{"id", row.id},
            {"list", list},
            {"index", index},
            {"name", item.Name},
            {"url", item.Url},
            {"dest", item.Dest},
            {"enabled", item.Disabled == 0},
            {"state", facts.state},
            {"bytes", row.filePos},
            {"total", Total(row)},
            {"speed", facts.speed},
            {"lastDownload", last},
            {"error", error}};
}

nlohmann::json ProgressJson(const Row& row, std::uint64_t speed) {
    return {{"id", row.id}, {"bytes", row.filePos}, {"total", Total(row)}, {"speed", speed}};
}

std::string LocalTimeText(std::time_t t) {
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

}  // namespace kov
