#pragma once

#include <map>
#include <mutex>
#include <string>

namespace kov {

// How many connections one address from another machine may hold at once, so that a single
// remote caller (guessing tokens slowly, say) cannot take every place of the server. Callers
// on this machine are not counted: the program's own clients may use all places.
class AddressQuota {
public:
    explicit AddressQuota(unsigned perAddress) : m_perAddress(perAddress) {}

    bool Admits(const std::string& address) const;
    void Opened(const std::string& address);
    void Closed(const std::string& address);

private:
    mutable std::mutex m_lock;
    std::map<std::string, unsigned> m_open;
    unsigned m_perAddress;
};

}  // namespace kov
