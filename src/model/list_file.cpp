#include "model/list_file.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <limits>
#include <mutex>
#include <random>

#include "core/prompter.h"
#include "core/settings/profile_store.h"
#include "core/text/text_util.h"
#include "model/item_fields.h"
#include "model/item_section_values.h"
#include "platform/clock.h"

namespace kov {

std::string ItemSectionName(int number) {
    return "item " + std::to_string(number);
}

namespace {

constexpr const char* kRuleKeys[] = {"s_find", "s_repl", "s_action", "s_icase", "s_mult"};
constexpr std::size_t kRuleText = ReplaceRule::kTextCapacity + 1;

std::string Key(const char* base, std::size_t n) {
    return ProfileStore::NumberedKey(base, n);
}

// The item's keys through the store's own lookups: a section the one-pass reader cannot take.
struct StoreKeys {
    const ProfileStore& store;
    const std::string& section;
    std::string GetString(int, std::string_view key, std::string_view def, std::size_t size) const {
        return store.GetString(section, key, def, size);
    }
    std::int32_t GetInt(int, std::string_view key, std::int32_t def) const {
        return store.GetInt(section, key, def);
    }
    // Part `part` of rule n: 0 find, 1 replace, then the three numbers.
    std::string RuleText(std::size_t n, int part) const {
        return store.GetString(section, Key(kRuleKeys[part], n), "", kRuleText);
    }
    std::int32_t RuleInt(std::size_t n, int part) const {
        return store.GetInt(section, Key(kRuleKeys[part], n), 0);
    }
};

// The same keys gathered in one pass.
struct GatheredKeys {
    const ItemSectionValues& values;
    std::string GetString(int slot, std::string_view, std::string_view def,
                          std::size_t size) const {
        return values.GetString(slot, def, size);
    }
    std::int32_t GetInt(int slot, std::string_view, std::int32_t def) const {
        return values.GetInt(slot, def);
    }
    std::string RuleText(std::size_t n, int part) const {
        return values.GetString(ItemSectionValues::RuleSlot(n, part), "", kRuleText);
    }
    std::int32_t RuleInt(std::size_t n, int part) const {
        return values.GetInt(ItemSectionValues::RuleSlot(n, part), 0);
    }
};

template <typename Keys>
std::int64_t GetInt64(const Keys& keys, int slot, std::string_view key, std::int64_t def) {
    const std::string text = keys.GetString(slot, key, "", 32);
    if (text.empty()) return def;
    const std::string_view trimmed = TrimBlanks(text);
    const bool negative = !trimmed.empty() && trimmed[0] == '-';
    const std::uint64_t magnitude = ParseUint64(negative ? trimmed.substr(1) : trimmed);
    const auto limit = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    const auto value = static_cast<std::int64_t>(std::min(magnitude, limit));
    return negative ? -value : value;
}

// One key of the table as the list file stores it; a missing key takes the field's default.
template <typename Keys>
void LoadField(const Keys& keys, const ItemField& f, UrlItem& item, std::time_t now) {
    const int slot = ItemSectionValues::FieldSlot(f);
    if (f.kind == FieldKind::Integer || f.kind == FieldKind::Flag) {
        PutItemNumber(item, f,
                      IsWideField(f)
                          ? GetInt64(keys, slot, f.key, f.absent)
                          : keys.GetInt(slot, f.key, static_cast<std::int32_t>(f.absent)));
        return;
    }
    std::string text =
        keys.GetString(slot, f.key, f.absentText, static_cast<std::size_t>(f.max) + 1);
    if (f.kind == FieldKind::Text) {
        PutItemText(item, f, std::move(text));
    } else {
        item.lastDL = text.empty() ? DefaultLastDownload() : ParseItemDate(text, now);
    }
}

template <typename Keys>
bool LoadItemFrom(const Keys& keys, UrlItem& item, std::time_t now) {
    static const ItemField& url = ItemFieldOf("Url");
    static const int urlSlot = ItemSectionValues::FieldSlot(url);
    static const int updateSlot = ItemSectionValues::FieldSlot(ItemFieldOf("UpdateMode"));
    if (keys.GetString(urlSlot, "Url", "", static_cast<std::size_t>(url.max) + 1).empty())
        return false;
    for (const ItemField& f : ItemFields())
        LoadField(keys, f, item, now);
    if (keys.GetInt(updateSlot, "UpdateMode", -1) < 0) {
        // Lists of older versions kept two flags instead.
        item.UpdateMode =
            keys.GetInt(ItemSectionValues::OverWriteSlot(), "OverWrite", 0) != 0 ? kUpdateOverwrite
            : keys.GetInt(ItemSectionValues::UpdateSlot(), "update", 0) != 0     ? kUpdateAuto
                                                                                 : kUpdateSkip;
    }

    item.rules.clear();
    for (std::size_t n = 1; n <= UrlItem::kMaxRules; ++n) {
        ReplaceRule rule;
        rule.find = keys.RuleText(n, 0);
        if (rule.find.empty()) break;
        rule.replace = keys.RuleText(n, 1);
        rule.action = keys.RuleInt(n, 2);
        rule.ignoreCase = keys.RuleInt(n, 3);
        rule.multiple = keys.RuleInt(n, 4);
        item.rules.push_back(std::move(rule));
    }
    ClampItemRanges(item);
    return true;
}

}  // namespace

bool LoadItem(const ProfileStore& store, int number, UrlItem& item, std::time_t now,
              ItemSectionValues& scratch) {
    const std::string s = ItemSectionName(number);
    if (scratch.Read(store, s)) return LoadItemFrom(GatheredKeys{scratch}, item, now);
    return LoadItemFrom(StoreKeys{store, s}, item, now);
}

bool LoadItem(const ProfileStore& store, int number, UrlItem& item, std::time_t now) {
    ItemSectionValues scratch;
    return LoadItem(store, number, item, now, scratch);
}

int FirstFreeItemNumber(const ProfileStore& store) {
    int n = 1;
    while (!store.GetString(ItemSectionName(n), "Url", "", 2).empty())
        ++n;
    return n;
}

bool SaveItem(ProfileStore& store, int number, const UrlItem& item, Prompter& prompter) {
    if (number < 1) number = FirstFreeItemNumber(store);
    const std::string s = ItemSectionName(number);
    if (!store.WriteString(s, "Name", item.Name)) {
        prompter.Inform("Saving url Name error ?");
        return false;
    }
    auto text = [&](const char* key, const std::string& value) {
        store.WriteString(s, key, value);
    };
    auto integer = [&](const char* key, std::int64_t value) {
        store.WriteString(s, key, std::to_string(value));
    };

    text("ID", item.ID);
    text("Url", item.Url);
    text("Dest", item.Dest);
    if (!item.Referer.empty()) text("Referer", item.Referer);
    if (!item.UserName.empty()) {
        text("UserName", item.UserName);
        text("UserPsw", item.UserPsw);
    }
    if (item.days > 0) integer("days", item.days);
    if (item.dayShift != 0) integer("dayShift", item.dayShift);
    integer("Disabled", item.Disabled);
    integer("nfsize", item.nfsize);
    text("nfString", item.nfString);
    integer("UpdateMode", item.UpdateMode);
    integer("interval", item.interval);
    integer("NumBased", item.NumBased);
    if (item.NumBased) {
        integer("CurrentNum", item.CurrentNum);
        integer("StopNumber", item.StopNumber);
        integer("Tolerance", item.Tolerance);
    }
    integer("ConType", item.ConType);
    integer("WithPics", item.WithPics);
    integer("WithLinks", item.WithLinks);
    integer("NestedDepth", item.NestedDepth);
    integer("ClearFolder", item.ClearFolder);
    text("Cmd", item.Cmd);
    integer("RipBanners", item.RipBanners);
    integer("EnableReplace", item.EnableReplace);
    // A list file holds at most the rules that a load reads back.
    const std::size_t rules = std::min(item.rules.size(), UrlItem::kMaxRules);
    for (std::size_t n = 1; n <= rules; ++n) {
        const ReplaceRule& rule = item.rules[n - 1];
        store.WriteString(s, Key("s_find", n), rule.find);
        store.WriteString(s, Key("s_repl", n), rule.replace);
        store.WriteInt(s, Key("s_action", n), rule.action);
        store.WriteInt(s, Key("s_icase", n), rule.ignoreCase);
        store.WriteInt(s, Key("s_mult", n), rule.multiple);
    }
    integer("Upload", item.Upload);
    text("UploadServer", item.UploadServer);
    text("UploadFolder", item.UploadFolder);
    text("UploadLogin", item.UploadLogin);
    text("UploadPassword", item.UploadPassword);
    text("LastDL", FormatItemDate(item.lastDL));
    integer("DstDlActive", item.DstDlActive);
    integer("DstDlFileSize", item.DstDlFileSize);
    integer("DstDlPartCount", item.DstDlPartCount);
    integer("DstDlPartSize", item.DstDlPartSize);
    integer("DstDlPartNo", item.DstDlPartNo);
    integer("CEType", item.CEType);
    text("CEComeFrom", item.CEComeFrom);
    // Written only when set, so that lists without the key stay as they were.
    if (item.Connections != 0) integer("Connections", item.Connections);
    return true;
}

std::vector<int> ItemNumbers(const ProfileStore& store) {
    std::vector<int> numbers;
    for (const std::string& name : store.SectionNames()) {
        if (!IStartsWith(name, "item ")) continue;
        const std::string_view digits = std::string_view(name).substr(5);
        if (digits.empty() || digits.size() > 10 ||
            digits.find_first_not_of("0123456789") != std::string_view::npos) {
            continue;
        }
        const std::uint64_t n = ParseUint64(digits);
        // Only names a lookup finds again ("item 07" is not "item 7").
        if (n < 1 || n > static_cast<std::uint64_t>(std::numeric_limits<int>::max()) ||
            ItemSectionName(static_cast<int>(n)).size() != name.size()) {
            continue;
        }
        numbers.push_back(static_cast<int>(n));
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    return numbers;
}

ListFileContent ReadListFile(const std::string& path, std::uint32_t serial, Prompter& prompter) {
    ListFileContent content;
    ProfileStore store(&prompter);
    if (!store.Open(path)) {
        content.error = store.Error();
        return content;
    }
    const std::time_t now = SystemClock().Now();
    const std::vector<int> numbers = ItemNumbers(store);
    // Made once: a fresh item reads the local time zone, which costs a file lookup each time.
    const UrlItem fresh = FreshItem();
    ItemSectionValues scratch;
    // Grown once: a growing vector would copy every item it holds on each reallocation.
    content.items.reserve(numbers.size());
    for (int n : numbers) {
        UrlItem item = fresh;
        if (!LoadItem(store, n, item, now, scratch)) continue;
        if (item.ID.empty()) {
            item.ID = MakeItemId(serial);
            ++content.newIds;
        }
        content.items.push_back(std::move(item));
    }
    return content;
}

namespace {

bool Failed(const ProfileStore& store, std::string* error) {
    if (error) *error = store.Error();
    return false;
}

}  // namespace

bool WriteListFile(const std::string& path, const std::vector<const UrlItem*>& items,
                   Prompter& prompter, std::string* error) {
    ProfileStore store(&prompter);
    if (!store.Open(path)) return Failed(store, error);
    store.Clear();
    int number = 0;
    for (const UrlItem* item : items) {
        if (!SaveItem(store, ++number, *item, prompter)) {
            store.LoadText("");
            if (error) *error = path + ": the item " + std::to_string(number) + " was refused";
            return false;
        }
    }
    if (store.Flush()) return true;
    Failed(store, error);
    // Nothing of a failed write may reach the file later from the destructor either.
    store.LoadText("");
    return false;
}

bool AppendItemToFile(const std::string& path, const UrlItem& item, Prompter& prompter,
                      std::string* error) {
    return AppendItemsToFile(path, {&item}, prompter, error);
}

bool AppendItemsToFile(const std::string& path, const std::vector<const UrlItem*>& items,
                       Prompter& prompter, std::string* error) {
    ProfileStore store(&prompter);
    if (!store.Open(path)) return Failed(store, error);
    // After the last numbered section rather than into the first gap: the items join the end
    // of the list, and no leftover keys of an emptied section stick to them.
    const std::vector<int> numbers = ItemNumbers(store);
    int last = numbers.empty() ? 0 : numbers.back();
    for (const UrlItem* item : items) {
        if (last == std::numeric_limits<int>::max()) {
            store.LoadText("");
            if (error) *error = path + ": no free item number";
            return false;
        }
        if (!SaveItem(store, ++last, *item, prompter)) {
            store.LoadText("");
            if (error) *error = path + ": the item was refused";
            return false;
        }
    }
    // One write for all: a drop of many items does not rewrite the file once per item.
    if (store.Flush()) return true;
    Failed(store, error);
    store.LoadText("");
    return false;
}

std::string MakeItemId(std::uint32_t serial) {
    static std::mutex lock;
    static std::mt19937 random;
    static std::uint32_t counter = 0;

    const Clock& clock = SystemClock();
    const CalendarTime now = LocalTime(clock.Now());
    char id[96];
    int len = std::snprintf(id, sizeof id, "%X-%X", serial,
                            static_cast<unsigned>(now.second + (now.year * 32 + now.month) * 32));
    auto append = [&](unsigned long long value) {
        char part[24];
        const int n = std::snprintf(part, sizeof part, "%llX", value);
        if (len + n < 32) {
            std::snprintf(id + len, sizeof id - static_cast<std::size_t>(len), "%s", part);
            len += n;
        }
    };
    append(clock.TickCount() & 0xFFFFFFFFu);
    {
        std::lock_guard<std::mutex> guard(lock);
        if (counter == 0) random.seed(static_cast<std::uint32_t>(clock.TickCount() ^ clock.Now()));
        // The counter sits beside the random bits rather than being added to them, so that two
        // IDs made within the same millisecond can never come out equal.
        append((static_cast<unsigned long long>(random() & 0xFFFF) << 16) | (counter++ & 0xFFFF));
    }
    return std::string(id, static_cast<std::size_t>(std::min(len, 31)));
}

}  // namespace kov
