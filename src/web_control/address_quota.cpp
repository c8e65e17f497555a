#include "web_control/address_quota.h"

namespace kov {

bool AddressQuota::Admits(const std::string& address) const {
    std::lock_guard lock(m_lock);
    const auto found = m_open.find(address);
    return found == m_open.end() || found->second < m_perAddress;
}

void AddressQuota::Opened(const std::string& address) {
    std::lock_guard lock(m_lock);
    ++m_open[address];
}

void AddressQuota::Closed(const std::string& address) {
    std::lock_guard lock(m_lock);
    const auto found = m_open.find(address);
    if (found == m_open.end()) return;
    if (--found->second == 0) m_open.erase(found);
}

}  // namespace kov
