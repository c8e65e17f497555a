#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

class ProfileStore;

// The most recently used destination folders, most recent first (section "MRUpaths",
// values "path1".."path20" of the per-user store).
class RecentPaths {
public:
    static constexpr std::size_t kMaxPaths = 20;
    static constexpr std::size_t kPathCapacity = 259;

    void Load(const ProfileStore& store);
    // Writes path1..pathN. Returns false when the store refused the writes.
    [[nodiscard]] bool Save(ProfileStore& store);

    // Puts path first; a path used before moves to the front. Empty paths are ignored.
    void Use(std::string_view path);

    const std::vector<std::string>& Paths() const { return m_paths; }
    // The most recent path (the {MRU} macro), "" when there is none.
    std::string First() const { return m_paths.empty() ? std::string() : m_paths.front(); }
    bool Changed() const { return m_changed; }

private:
    std::vector<std::string> m_paths;
    bool m_changed = false;
};

// The transferred volume so far (section "Settings", value "LimitCounter", decimal 64-bit).
std::uint64_t LoadLimitCounter(const ProfileStore& store);
[[nodiscard]] bool SaveLimitCounter(ProfileStore& store, std::uint64_t value);

}  // namespace kov
