#include "core/settings/user_store.h"

#include <algorithm>

#include "core/settings/profile_store.h"
#include "core/text/text_util.h"

namespace kov {

namespace {
constexpr const char* kRecentSection = "MRUpaths";
constexpr const char* kSettingsSection = "Settings";
}  // namespace

void RecentPaths::Load(const ProfileStore& store) {
    m_paths.clear();
    for (std::size_t i = 1; i <= kMaxPaths; ++i) {
        std::string path = store.GetString(kRecentSection, ProfileStore::NumberedKey("path", i), "",
                                           kPathCapacity + 1);
        if (path.empty()) break;
        m_paths.push_back(std::move(path));
    }
    m_changed = false;
}

bool RecentPaths::Save(ProfileStore& store) {
    for (std::size_t i = 0; i < m_paths.size(); ++i) {
        if (!store.WriteString(kRecentSection, ProfileStore::NumberedKey("path", i + 1),
                               m_paths[i])) {
            return false;
        }
    }
    m_changed = false;
    return true;
}

void RecentPaths::Use(std::string_view path) {
    if (path.empty()) return;
    std::string entry = CapText(path, kPathCapacity);
    if (!m_paths.empty() && m_paths.front() == entry) return;
    m_paths.erase(std::remove(m_paths.begin(), m_paths.end(), entry), m_paths.end());
    m_paths.insert(m_paths.begin(), std::move(entry));
    if (m_paths.size() > kMaxPaths) m_paths.resize(kMaxPaths);
    m_changed = true;
}

std::uint64_t LoadLimitCounter(const ProfileStore& store) {
    return ParseUint64(store.GetString(kSettingsSection, "LimitCounter", "0", 32));
}

bool SaveLimitCounter(ProfileStore& store, std::uint64_t value) {
    return store.WriteString(kSettingsSection, "LimitCounter", std::to_string(value));
}

}  // namespace kov
