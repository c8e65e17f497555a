#include "model/item_fields.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <type_traits>
#include <variant>

#include "core/settings/app_settings.h"
#include "core/text/text_util.h"

namespace kov {

namespace {

// lastDL has no member here: it is a date, read and written through its own path.
using Member = std::variant<std::monostate, std::string UrlItem::*, std::int32_t UrlItem::*,
                            std::int16_t UrlItem::*, std::int64_t UrlItem::*>;

struct Entry {
    ItemField field;
    Member member;
};

constexpr std::int64_t kMaxInt = 2147483647;
constexpr FieldKind T = FieldKind::Text;
constexpr FieldKind I = FieldKind::Integer;
constexpr FieldKind F = FieldKind::Flag;
constexpr OutOfRange kClamp = OutOfRange::Clamp;
constexpr OutOfRange kReset = OutOfRange::Reset;

constexpr ItemField Text(std::string_view key, std::size_t capacity, std::string_view absent = {}) {
    return {key, T, 0, static_cast<std::int64_t>(capacity), 0, absent};
}
constexpr ItemField Flag(std::string_view key) {
    return {key, F, 0, 1};
}
constexpr ItemField Number(std::string_view key, std::int64_t min, std::int64_t max,
                           OutOfRange load, std::int64_t absent = 0, std::int64_t reset = 0) {
    return {key, I, min, max, absent, {}, load, reset};
}
// A field whose editor accepts less than a file may hold.
constexpr ItemField EditorRange(ItemField field, std::int64_t min, std::int64_t max) {
    field.editMin = min;
    field.editMax = max;
    return field;
}

using U = UrlItem;

const std::vector<Entry>& Entries() {
    // UpdateMode has no default of its own: a list without it takes the older keys (LoadItem).
    // A NestedDepth out of range is one level, as a rip reads it, not the deepest.
    static const std::vector<Entry> entries = {
        {Text("Name", U::kNameCapacity, "NoName"), &U::Name},
        {Text("ID", U::kIdCapacity), &U::ID},
        {Text("Url", U::kUrlCapacity), &U::Url},
        {Text("Dest", U::kDestCapacity), &U::Dest},
        {Text("Referer", U::kRefererCapacity), &U::Referer},
        {Text("UserName", U::kUserCapacity), &U::UserName},
        {Text("UserPsw", U::kUserCapacity), &U::UserPsw},
        {Number("days", 0, 365, kClamp), &U::days},
        {Number("dayShift", -700, 700, kClamp), &U::dayShift},
        {Flag("Disabled"), &U::Disabled},
        {EditorRange(Number("nfsize", 0, kMaxInt, kClamp), 0, 65500), &U::nfsize},
        {Text("nfString", U::kNfStringCapacity), &U::nfString},
        {Number("UpdateMode", kUpdateAuto, kUpdateSkip, kReset, 0, kUpdateAuto), &U::UpdateMode},
        {Number("interval", -1, 365, kClamp), &U::interval},
        {Flag("NumBased"), &U::NumBased},
        {Number("CurrentNum", 0, kMaxInt - 1, kClamp), &U::CurrentNum},
        {Number("StopNumber", 0, kMaxInt - 1, kClamp), &U::StopNumber},
        {Number("Tolerance", 0, 1000, kReset), &U::Tolerance},
        {Number("ConType", 0, 7, kReset), &U::ConType},
        {Flag("WithPics"), &U::WithPics},
        {Flag("WithLinks"), &U::WithLinks},
        {EditorRange(Number("NestedDepth", 0, 32, kReset, 0, 1), 1, 32), &U::NestedDepth},
        {Flag("ClearFolder"), &U::ClearFolder},
        {Text("Cmd", U::kCmdCapacity), &U::Cmd},
        {Flag("RipBanners"), &U::RipBanners},
        {Flag("EnableReplace"), &U::EnableReplace},
        {Flag("Upload"), &U::Upload},
        {Text("UploadServer", U::kUploadServerCapacity), &U::UploadServer},
        {Text("UploadFolder", U::kUploadServerCapacity), &U::UploadFolder},
        {Text("UploadLogin", U::kUploadLoginCapacity), &U::UploadLogin},
        {Text("UploadPassword", U::kUploadLoginCapacity), &U::UploadPassword},
        // The capacity is what a load reads of the date's text.
        {{"LastDL", FieldKind::Date, 0, 11, 0, "1990.01.01"}, std::monostate{}},
        {Flag("DstDlActive"), &U::DstDlActive},
        {Number("DstDlFileSize", 0, kMaxPartBytes, kClamp), &U::DstDlFileSize},
        {Number("DstDlPartCount", 2, kMaxParts, kClamp, 2), &U::DstDlPartCount},
        {Number("DstDlPartSize", 0, kMaxPartBytes, kClamp), &U::DstDlPartSize},
        {Number("DstDlPartNo", 1, kMaxParts, kClamp, 1), &U::DstDlPartNo},
        {Number("CEType", 0, 10, OutOfRange::Keep), &U::CEType},
        {Text("CEComeFrom", U::kCeComeFromCapacity), &U::CEComeFrom},
        {Number("Connections", 0, kMaxConnections, kClamp), &U::Connections},
    };
    return entries;
}

const Entry* FindEntry(std::string_view key) {
    for (const Entry& e : Entries()) {
        if (IEquals(e.field.key, key)) return &e;
    }
    return nullptr;
}

// The entry of a field of ItemFields(), which holds them in the same order.
const Entry& EntryOf(const ItemField& field) {
    const std::vector<ItemField>& fields = ItemFields();
    if (&field >= fields.data() && &field < fields.data() + fields.size()) {
        return Entries()[static_cast<std::size_t>(&field - fields.data())];
    }
    return *FindEntry(field.key);
}

template <typename N>
void Bound(N& value, const ItemField& f) {
    if (f.load == OutOfRange::Keep || (value >= f.min && value <= f.max)) return;
    value = static_cast<N>(f.load == OutOfRange::Clamp ? (value < f.min ? f.min : f.max) : f.reset);
}

// The rule keys; their values are checked as these fields.
enum RulePart { kFind, kRepl, kAction, kIcase, kMult, kRuleParts };
const ItemField kRuleFields[kRuleParts] = {
    Text("s_find", ReplaceRule::kTextCapacity),
    Text("s_repl", ReplaceRule::kTextCapacity),
    Number("s_action", 0, 3, kReset),
    Flag("s_icase"),
    Flag("s_mult"),
};

// A parsed value: the number of an integer, flag or date, or the text.
struct Parsed {
    std::string error;
    std::int64_t number = 0;
};

Parsed ParseValue(const ItemField& field, std::string_view value) {
    Parsed p;
    switch (field.kind) {
        case FieldKind::Text:
            if (value.size() > static_cast<std::size_t>(field.max)) {
                p.error = "longer than " + std::to_string(field.max) + " bytes";
            }
            for (char c : value) {
                // A line break would end the value in the list file and start another key.
                if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
                    p.error = "control characters are not allowed";
                }
            }
            break;
        case FieldKind::Flag: {
            static constexpr std::string_view kOn[] = {"1", "yes", "on", "true"};
            static constexpr std::string_view kOff[] = {"0", "no", "off", "false"};
            for (std::string_view v : kOn) {
                if (IEquals(value, v)) p.number = 1;
            }
            bool off = false;
            for (std::string_view v : kOff)
                off = off || IEquals(value, v);
            if (p.number == 0 && !off) p.error = "not a flag: 0 or 1 (yes/no, on/off)";
            break;
        }
        case FieldKind::Integer: {
            const char* end = value.data() + value.size();
            const auto [ptr, ec] = std::from_chars(value.data(), end, p.number);
            if (value.empty() || ec != std::errc() || ptr != end) {
                p.error = "not a whole number";
            } else if (p.number < field.min || p.number > field.max) {
                p.error = "out of range " + DescribeRange(field);
            }
            break;
        }
        case FieldKind::Date: {
            if (IEquals(value, "never")) {
                p.number = DefaultLastDownload();
                break;
            }
            bool shaped = value.size() == 10 && value[4] == '.' && value[7] == '.';
            for (std::size_t i = 0; shaped && i < value.size(); ++i) {
                shaped = i == 4 || i == 7 || (value[i] >= '0' && value[i] <= '9');
            }
            // The round trip refuses days a month does not have (2026.02.31).
            const std::time_t t = shaped ? ParseItemDate(value, -1) : -1;
            if (t == -1 || FormatItemDate(t) != value) {
                p.error = "not a date: YYYY.MM.DD or never";
            } else {
                p.number = t;
            }
            break;
        }
    }
    return p;
}

// "s_find3" -> kFind and 3; false for any other key.
bool SplitRuleKey(std::string_view key, RulePart& part, std::size_t& number) {
    for (int i = 0; i < kRuleParts; ++i) {
        const std::string_view prefix = kRuleFields[i].key;
        if (key.size() <= prefix.size() || !IStartsWith(key, prefix)) continue;
        const std::string_view digits = key.substr(prefix.size());
        const auto [ptr, ec] =
            std::from_chars(digits.data(), digits.data() + digits.size(), number);
        if (ec != std::errc() || ptr != digits.data() + digits.size()) return false;
        part = static_cast<RulePart>(i);
        return true;
    }
    return false;
}

std::string SetRuleField(UrlItem& item, RulePart part, std::size_t number, std::string_view value) {
    const std::size_t count = item.rules.size();
    if (number < 1 || number > count + 1) {
        return "no rule " + std::to_string(number) + ": the item has " + std::to_string(count) +
               (count == 1 ? " rule" : " rules");
    }
    if (number == count + 1 && count >= UrlItem::kMaxRules) {
        return "an item holds at most " + std::to_string(UrlItem::kMaxRules) + " rules";
    }
    const Parsed p = ParseValue(kRuleFields[part], value);
    if (!p.error.empty()) return p.error;
    if (part == kFind && value.empty()) {
        // An empty find text ends a rule list: the rule goes.
        if (number <= count) item.rules.erase(item.rules.begin() + (number - 1));
        return "";
    }
    if (number == count + 1) item.rules.emplace_back();
    ReplaceRule& rule = item.rules[number - 1];
    const auto n = static_cast<std::int32_t>(p.number);
    switch (part) {
        case kFind:
            rule.find = value;
            break;
        case kRepl:
            rule.replace = value;
            break;
        case kAction:
            rule.action = n;
            break;
        case kIcase:
            rule.ignoreCase = n;
            break;
        default:
            rule.multiple = n;
            break;
    }
    return "";
}

}  // namespace

const std::vector<ItemField>& ItemFields() {
    static const std::vector<ItemField> fields = [] {
        std::vector<ItemField> out;
        for (const Entry& e : Entries())
            out.push_back(e.field);
        return out;
    }();
    return fields;
}

const ItemField* FindItemField(std::string_view key) {
    const Entry* e = FindEntry(key);
    return e ? &e->field : nullptr;
}

const ItemField& ItemFieldOf(std::string_view key) {
    const ItemField* field = FindItemField(key);
    if (!field) std::abort();
    return *field;
}

void PutItemText(UrlItem& item, const ItemField& field, std::string value) {
    if (auto s = std::get_if<std::string UrlItem::*>(&EntryOf(field).member)) {
        item.*(*s) = std::move(value);
    }
}

void PutItemNumber(UrlItem& item, const ItemField& field, std::int64_t value) {
    const Member& m = EntryOf(field).member;
    if (auto p = std::get_if<std::int32_t UrlItem::*>(&m))
        item.*(*p) = static_cast<std::int32_t>(value);
    if (auto p = std::get_if<std::int16_t UrlItem::*>(&m))
        item.*(*p) = static_cast<std::int16_t>(value);
    if (auto p = std::get_if<std::int64_t UrlItem::*>(&m)) item.*(*p) = value;
}

void ClampItemRanges(UrlItem& item) {
    for (const Entry& e : Entries()) {
        std::visit(
            [&](auto member) {
                if constexpr (!std::is_same_v<decltype(member), std::monostate> &&
                              !std::is_same_v<decltype(member), std::string UrlItem::*>) {
                    Bound(item.*member, e.field);
                }
            },
            e.member);
    }
    item.DstDlPartNo = std::min(item.DstDlPartNo, item.DstDlPartCount);
    for (ReplaceRule& rule : item.rules)
        Bound(rule.action, kRuleFields[kAction]);
}

std::string DescribeRange(const ItemField& field) {
    switch (field.kind) {
        case FieldKind::Text:
            return "text, at most " + std::to_string(field.max) + " bytes";
        case FieldKind::Flag:
            return "0 or 1";
        case FieldKind::Date:
            return "YYYY.MM.DD or never";
        default:
            return std::to_string(field.min) + ".." + std::to_string(field.max);
    }
}

std::vector<FieldValue> ItemFieldValues(const UrlItem& item) {
    std::vector<FieldValue> out;
    auto add = [&out](std::string key, FieldKind kind, std::string text, std::int64_t number) {
        out.push_back({std::move(key), kind, std::move(text), number});
    };
    for (const Entry& e : Entries()) {
        const ItemField& f = e.field;
        if (f.kind == FieldKind::Date) {
            add(std::string(f.key), f.kind, FormatItemDate(item.lastDL), item.lastDL);
        } else if (auto s = std::get_if<std::string UrlItem::*>(&e.member)) {
            add(std::string(f.key), f.kind, item.*(*s), 0);
        } else {
            std::int64_t n = 0;
            if (auto p = std::get_if<std::int32_t UrlItem::*>(&e.member)) n = item.*(*p);
            if (auto p = std::get_if<std::int16_t UrlItem::*>(&e.member)) n = item.*(*p);
            if (auto p = std::get_if<std::int64_t UrlItem::*>(&e.member)) n = item.*(*p);
            add(std::string(f.key), f.kind, std::to_string(n), n);
        }
        if (f.key != "EnableReplace") continue;
        for (std::size_t i = 0; i < item.rules.size(); ++i) {
            const ReplaceRule& r = item.rules[i];
            const std::string n = std::to_string(i + 1);
            add("s_find" + n, T, r.find, 0);
            add("s_repl" + n, T, r.replace, 0);
            add("s_action" + n, I, std::to_string(r.action), r.action);
            add("s_icase" + n, F, std::to_string(r.ignoreCase), r.ignoreCase);
            add("s_mult" + n, F, std::to_string(r.multiple), r.multiple);
        }
    }
    return out;
}

std::string SetItemField(UrlItem& item, std::string_view key, std::string_view value) {
    RulePart part = kFind;
    std::size_t number = 0;
    if (SplitRuleKey(key, part, number)) return SetRuleField(item, part, number, value);
    const Entry* e = FindEntry(key);
    if (!e) return "unknown key";
    const Parsed p = ParseValue(e->field, value);
    if (!p.error.empty()) return p.error;
    if (e->field.kind == FieldKind::Date) {
        item.lastDL = static_cast<std::time_t>(p.number);
    } else if (auto s = std::get_if<std::string UrlItem::*>(&e->member)) {
        item.*(*s) = value;
    } else if (auto i32 = std::get_if<std::int32_t UrlItem::*>(&e->member)) {
        item.*(*i32) = static_cast<std::int32_t>(p.number);
    } else if (auto i16 = std::get_if<std::int16_t UrlItem::*>(&e->member)) {
        item.*(*i16) = static_cast<std::int16_t>(p.number);
    } else if (auto i64 = std::get_if<std::int64_t UrlItem::*>(&e->member)) {
        item.*(*i64) = p.number;
    }
    return "";
}

std::string CheckItemFields(const UrlItem& item) {
    if (item.Url.empty()) return "Url must not be empty";
    if (item.DstDlPartNo > item.DstDlPartCount) {
        return "DstDlPartNo " + std::to_string(item.DstDlPartNo) + " is beyond DstDlPartCount " +
               std::to_string(item.DstDlPartCount);
    }
    for (std::size_t i = 0; i < item.rules.size(); ++i) {
        if (item.rules[i].find.empty()) {
            return "rule " + std::to_string(i + 1) + " needs s_find" + std::to_string(i + 1);
        }
    }
    return "";
}

std::string UnsupportedScheme(std::string_view url, bool enableHttps) {
    const std::size_t colon = url.find("://");
    if (colon == std::string_view::npos || colon == 0) {
        return "not a URL: it must begin with http://, ftp://, file://" +
               std::string(enableHttps ? " or https://" : "");
    }
    const std::string scheme = ToLowerAscii(url.substr(0, colon));
    if (scheme == "http" || scheme == "ftp" || scheme == "file") return "";
    if (scheme == "https") {
        return enableHttps ? "" : "https is switched off (EnableHttps=0 in kov.ini)";
    }
    return "unsupported scheme " + scheme + ": kov fetches http, " +
           std::string(enableHttps ? "https, " : "") + "ftp and file URLs";
}

}  // namespace kov
