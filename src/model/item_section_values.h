#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

class ProfileStore;
struct ItemField;

// The keys of one "item N" section that an item load asks for, gathered in one pass over the
// section instead of one search per key: a list of thousands of items asks some fifty keys of
// each. Each key has a slot: the fields' places in ItemFields(), then the two flags of older
// lists, then the rule keys. Answers as ProfileStore's GetString and GetInt would, first key
// of a name winning. One instance serves one section at a time and may be reused.
class ItemSectionValues {
public:
    ItemSectionValues();

    // False (nothing gathered) when the store cannot answer this way: the section is missing
    // or holds an empty key (the store's own lookups report that one).
    bool Read(const ProfileStore& store, std::string_view section);

    std::string GetString(int slot, std::string_view def, std::size_t size) const;
    std::int32_t GetInt(int slot, std::int32_t def) const;

    static int FieldSlot(const ItemField& field);
    static int OverWriteSlot();  // "OverWrite", "update": the update mode of older lists
    static int UpdateSlot();
    // Slot of rule key `part` (0 s_find, 1 s_repl, 2 s_action, 3 s_icase, 4 s_mult) of rule
    // number n (from 1).
    static int RuleSlot(std::size_t n, int part);

private:
    // The slot of a key as it stands in a file, or -1.
    static int SlotOf(std::string_view key);
    void Put(int slot, std::string_view value);

    struct LastKey {
        std::string key;
        int slot = -1;
    };

    std::vector<std::string_view> m_values;
    std::vector<LastKey> m_lastKeys;     // the keys of the last section read, by place
    std::vector<std::uint32_t> m_marks;  // a slot holds a value of this read when equal
    std::uint32_t m_mark = 0;
};

}  // namespace kov
