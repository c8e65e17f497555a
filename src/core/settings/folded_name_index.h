#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kov {

// ASCII case folding for names, inline: lookups of an INI store compare names all the time.
inline char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
inline bool FoldedEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    if (a == b) return true;  // nearly always spelt alike
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) return false;
    }
    return true;
}

// Maps a name within a numbered scope (ASCII case ignored) to the first position recorded for
// it. It keeps no text of its own: nameOf(scope, position) gives the name at a position, so a
// name costs 16 bytes and the whole index one allocation - a list of 10,000 items holds some
// 300,000 keys, and a node per key made loading mostly malloc.
class FoldedNameIndex {
public:
    static constexpr std::uint32_t kNone = 0xFFFFFFFFu;

    // The position recorded for name in scope, or kNone.
    template <typename NameOf>
    std::uint32_t Find(std::uint32_t scope, std::string_view name, const NameOf& nameOf) const {
        if (m_slots.empty()) return kNone;
        return m_slots[Probe(Hash(scope, name), scope, name, nameOf)].position;
    }

    // Records position for name unless scope already holds the name (the first one counts).
    template <typename NameOf>
    void AddFirst(std::uint32_t scope, std::string_view name, std::uint32_t position,
                  const NameOf& nameOf) {
        if ((m_used + 1) * 2 > m_slots.size()) Grow();
        const std::uint64_t hash = Hash(scope, name);
        Slot& slot = m_slots[Probe(hash, scope, name, nameOf)];
        if (slot.position != kNone) return;
        slot = {hash, scope, position};
        ++m_used;
    }

    void Clear();
    // Room for names without growing.
    void Reserve(std::size_t names);
    std::size_t Size() const { return m_used; }

    static std::uint64_t Hash(std::uint32_t scope, std::string_view name);

private:
    struct Slot {
        std::uint64_t hash = 0;
        std::uint32_t scope = 0;
        std::uint32_t position = kNone;  // kNone: the slot is free
    };

    // The slot holding name in scope, or the free slot where it would go.
    template <typename NameOf>
    std::size_t Probe(std::uint64_t hash, std::uint32_t scope, std::string_view name,
                      const NameOf& nameOf) const {
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t i = Start(hash);; i = (i + 1) & mask) {
            const Slot& slot = m_slots[i];
            if (slot.position == kNone) return i;
            if (slot.hash == hash && slot.scope == scope &&
                SameFolded(nameOf(scope, slot.position), name)) {
                return i;
            }
        }
    }
    std::size_t Start(std::uint64_t hash) const {
        return static_cast<std::size_t>(hash & (m_slots.size() - 1));
    }
    static bool SameFolded(std::string_view a, std::string_view b) { return FoldedEquals(a, b); }
    void Rehash(std::size_t slots);
    void Grow() { Rehash(m_slots.empty() ? 16 : m_slots.size() * 2); }

    std::vector<Slot> m_slots;  // a power of two in size, at most half used
    std::size_t m_used = 0;
};

}  // namespace kov
