#include "model/item_section_values.h"

#include <cstdlib>
#include <unordered_map>

#include "core/settings/profile_store.h"
#include "core/text/text_util.h"
#include "model/item_fields.h"
#include "model/url_item.h"

namespace kov {

namespace {

constexpr std::string_view kRuleKeys[] = {"s_find", "s_repl", "s_action", "s_icase", "s_mult"};
constexpr int kRuleParts = 5;

int FieldCount() {
    return static_cast<int>(ItemFields().size());
}

// Lower-case names of the fields and the old flags, by slot.
const std::unordered_map<std::string, int>& NamedSlots() {
    static const std::unordered_map<std::string, int> slots = [] {
        std::unordered_map<std::string, int> made;
        for (const ItemField& f : ItemFields())
            made.emplace(ToLowerAscii(f.key), ItemSectionValues::FieldSlot(f));
        made.emplace("overwrite", ItemSectionValues::OverWriteSlot());
        made.emplace("update", ItemSectionValues::UpdateSlot());
        return made;
    }();
    return slots;
}

// The rule number of "s_find12" and the like as NumberedKey writes it (no leading zero), or 0.
std::size_t RuleNumber(std::string_view digits) {
    if (digits.empty() || digits.size() > 3 || digits[0] == '0' ||
        digits.find_first_not_of("0123456789") != std::string_view::npos) {
        return 0;
    }
    const auto n = static_cast<std::size_t>(ParseUint64(digits));
    return n <= UrlItem::kMaxRules ? n : 0;
}

}  // namespace

ItemSectionValues::ItemSectionValues()
    : m_values(static_cast<std::size_t>(RuleSlot(UrlItem::kMaxRules, kRuleParts - 1) + 1)),
      m_marks(m_values.size(), 0) {}

int ItemSectionValues::FieldSlot(const ItemField& field) {
    const std::vector<ItemField>& fields = ItemFields();
    if (&field >= fields.data() && &field < fields.data() + fields.size())
        return static_cast<int>(&field - fields.data());
    // A copy of a field (ItemFieldOf hands out its own): found by its key.
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (fields[i].key == field.key) return static_cast<int>(i);
    }
    std::abort();  // every field is in the table
}

int ItemSectionValues::OverWriteSlot() {
    return FieldCount();
}

int ItemSectionValues::UpdateSlot() {
    return FieldCount() + 1;
}

int ItemSectionValues::RuleSlot(std::size_t n, int part) {
    return FieldCount() + 2 + static_cast<int>(n - 1) * kRuleParts + part;
}

int ItemSectionValues::SlotOf(std::string_view key) {
    char lower[ProfileStore::kKeyCapacity + 1];
    if (key.size() > ProfileStore::kKeyCapacity) return -1;
    for (std::size_t i = 0; i < key.size(); ++i)
        lower[i] = ToLowerAscii(key[i]);
    const std::string_view name(lower, key.size());
    if (name.starts_with("s_")) {
        for (int part = 0; part < kRuleParts; ++part) {
            if (!name.starts_with(kRuleKeys[part])) continue;
            const std::size_t n = RuleNumber(name.substr(kRuleKeys[part].size()));
            if (n > 0) return RuleSlot(n, part);
        }
    }
    const auto& slots = NamedSlots();
    const auto it = slots.find(std::string(name));
    return it == slots.end() ? -1 : it->second;
}

void ItemSectionValues::Put(int slot, std::string_view value) {
    const auto at = static_cast<std::size_t>(slot);
    if (m_marks[at] == m_mark) return;  // the first key of a name answers, as a lookup finds it
    m_marks[at] = m_mark;
    m_values[at] = value;
}

bool ItemSectionValues::Read(const ProfileStore& store, std::string_view section) {
    if (++m_mark == 0) {
        // Once in four billion reads the marks start over.
        std::fill(m_marks.begin(), m_marks.end(), 0);
        m_mark = 1;
    }
    std::size_t pos = 0;
    return store.ForEachKey(section, [this, &pos](std::string_view key, std::string_view value) {
        // The sections of one list were mostly written by the same code, key for key: the
        // key at this place in the last section is usually this one again.
        if (pos == m_lastKeys.size()) m_lastKeys.emplace_back();
        LastKey& last = m_lastKeys[pos++];
        if (last.key != key) last = {std::string(key), SlotOf(key)};
        if (last.slot >= 0) Put(last.slot, value);
    });
}

std::string ItemSectionValues::GetString(int slot, std::string_view def, std::size_t size) const {
    if (size == 0) size = 128;
    const auto at = static_cast<std::size_t>(slot);
    if (m_marks[at] != m_mark) return CapText(def, size - 1);
    return ProfileStore::ValueText(m_values[at], size);
}

std::int32_t ItemSectionValues::GetInt(int slot, std::int32_t def) const {
    const auto at = static_cast<std::size_t>(slot);
    return m_marks[at] == m_mark ? ParseInt32(m_values[at]) : def;
}

}  // namespace kov
