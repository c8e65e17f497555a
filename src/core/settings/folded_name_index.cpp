#include "core/settings/folded_name_index.h"

namespace kov {

std::uint64_t FoldedNameIndex::Hash(std::uint32_t scope, std::string_view name) {
    // FNV-1a over the folded bytes, seeded with the scope.
    std::uint64_t h = 0xcbf29ce484222325ull ^ (std::uint64_t{scope} * 0x9E3779B97F4A7C15ull);
    for (const char c : name) {
        h ^= static_cast<unsigned char>(FoldAscii(c));
        h *= 0x100000001b3ull;
    }
    // The low bits pick the slot: fold the high ones in.
    return h ^ (h >> 29);
}

void FoldedNameIndex::Clear() {
    m_slots.clear();
    m_used = 0;
}

void FoldedNameIndex::Reserve(std::size_t names) {
    std::size_t slots = m_slots.empty() ? 16 : m_slots.size();
    while (slots < names * 2)
        slots *= 2;
    if (slots > m_slots.size()) Rehash(slots);
}

void FoldedNameIndex::Rehash(std::size_t slots) {
    std::vector<Slot> old(slots);
    old.swap(m_slots);
    const std::size_t mask = m_slots.size() - 1;
    // Names already in are distinct, so each goes into the first free slot of its chain.
    for (const Slot& slot : old) {
        if (slot.position == kNone) continue;
        std::size_t i = Start(slot.hash);
        while (m_slots[i].position != kNone)
            i = (i + 1) & mask;
        m_slots[i] = slot;
    }
}

}  // namespace kov
