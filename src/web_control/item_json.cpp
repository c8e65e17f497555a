#include "web_control/item_json.h"

#include <cstdio>

#include "web_control/json_writer.h"

namespace kov {

namespace {

nlohmann::json Total(const Row& row) {
    return row.fileSize == 0 ? nlohmann::json(nullptr) : nlohmann::json(row.fileSize);
}

}  // namespace

void AppendItemJson(std::string& out, const Row& row, std::size_t list, std::size_t index,
                    const ItemFacts& facts) {
    AppendItemHead(out, row.id, list, index);
    AppendItemTail(out, row, facts);
}

void AppendItemHead(std::string& out, RowId id, std::size_t list, std::size_t index) {
    out += "{\"id\":";
    out += std::to_string(id);
    out += ",\"list\":";
    out += std::to_string(list);
    out += ",\"index\":";
    out += std::to_string(index);
    out += ',';
}

void AppendItemTail(std::string& out, const Row& row, const ItemFacts& facts) {
    const UrlItem& item = row.item;
    JsonWriter w(out);  // no brace of its own: the head opened the object
    w.Key("name").String(item.Name);
    w.Key("url").String(item.Url);
    w.Key("dest").String(item.Dest);
    w.Key("enabled").Bool(item.Disabled == 0);
    w.Key("state").String(facts.state);
    w.Key("bytes").Number(row.filePos);
    w.Key("total");
    row.fileSize == 0 ? w.Null() : w.Number(row.fileSize);
    w.Key("speed").Number(facts.speed);
    // Items never fetched keep the 1990 date of the list file (worked out once: mktime is slow).
    static const std::time_t kNever = DefaultLastDownload();
    w.Key("lastDownload");
    item.lastDL > kNever ? w.String(LocalTimeText(item.lastDL)) : w.Null();
    w.Key("error");
    if (facts.failure) {
        JsonWriter e(out);
        e.Open();
        e.Key("text").String(facts.failure->text);
        e.Key("cause").String(facts.failure->cause);
        e.Close();
    } else {
        w.Null();
    }
    w.Close();
}

nlohmann::json ProgressJson(const Row& row, std::uint64_t speed) {
    return {{"id", row.id}, {"bytes", row.filePos}, {"total", Total(row)}, {"speed", speed}};
}

std::string LocalTimeText(std::time_t t) {
    std::tm parts{};
    localtime_r(&t, &parts);
    char text[80];  // room for any int the fields may hold
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", parts.tm_year + 1900,
                  parts.tm_mon + 1, parts.tm_mday, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

}  // namespace kov
