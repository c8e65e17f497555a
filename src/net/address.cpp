#include "net/address.h"

#include <arpa/inet.h>
#include <netinet/in.h>

#include <algorithm>
#include <cstring>

namespace kov {

namespace {

// True when address lies in net/bits.
bool In(std::uint32_t address, std::uint32_t net, int bits) {
    const std::uint32_t mask = bits == 0 ? 0 : ~0u << (32 - bits);
    return (address & mask) == net;
}

}  // namespace

std::optional<IpAddress> IpAddress::FromBytes(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() != 4 && bytes.size() != 16) return std::nullopt;
    IpAddress a;
    a.m_v4 = bytes.size() == 4;
    std::copy(bytes.begin(), bytes.end(), a.m_bytes.begin());
    return a;
}

std::optional<IpAddress> IpAddress::Parse(std::string_view text) {
    if (text.empty() || text.find_first_of(" \t\r\n") != std::string_view::npos) {
        return std::nullopt;
    }
    std::string name(text);
    in_addr v4{};
    if (name.find(':') == std::string::npos && ::inet_aton(name.c_str(), &v4) != 0) {
        const auto* b = reinterpret_cast<const std::uint8_t*>(&v4.s_addr);
        return FromBytes({b, b + 4});
    }
    // The zone of a link-local address ("%eth0") does not change its kind.
    name = name.substr(0, name.find('%'));
    in6_addr v6{};
    if (::inet_pton(AF_INET6, name.c_str(), &v6) != 1) return std::nullopt;
    return FromBytes({v6.s6_addr, v6.s6_addr + 16});
}

std::optional<std::uint32_t> IpAddress::V4() const {
    const std::uint8_t* b = m_bytes.data();
    if (!m_v4) {
        static constexpr std::uint8_t kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::memcmp(b, kMapped, sizeof kMapped) != 0) return std::nullopt;
        b += 12;
    }
    return std::uint32_t(b[0]) << 24 | std::uint32_t(b[1]) << 16 | std::uint32_t(b[2]) << 8 | b[3];
}

bool IpAddress::V6Between(std::uint8_t first, std::uint8_t mask) const {
    return !m_v4 && (m_bytes[0] & mask) == first;
}

bool IpAddress::IsLoopback() const {
    if (const auto v4 = V4()) return In(*v4, 0x7F000000, 8);
    return !m_v4 &&
           std::all_of(m_bytes.begin(), m_bytes.end() - 1, [](auto b) { return b == 0; }) &&
           m_bytes[15] == 1;
}

bool IpAddress::IsPrivate() const {
    if (const auto v4 = V4()) {
        return In(*v4, 0x0A000000, 8) || In(*v4, 0xAC100000, 12) || In(*v4, 0xC0A80000, 16);
    }
    return V6Between(0xfc, 0xfe);
}

bool IpAddress::IsLinkLocal() const {
    if (const auto v4 = V4()) return In(*v4, 0xA9FE0000, 16);
    return V6Between(0xfe, 0xff) && (m_bytes[1] & 0xc0) == 0x80;
}

bool IpAddress::IsSharedAddressSpace() const {
    const auto v4 = V4();
    return v4 && In(*v4, 0x64400000, 10);
}

bool IpAddress::IsUnspecified() const {
    if (const auto v4 = V4()) return In(*v4, 0, 8);
    return std::all_of(m_bytes.begin(), m_bytes.end(), [](auto b) { return b == 0; });
}

bool IpAddress::IsBroadcast() const {
    const auto v4 = V4();
    return v4 && *v4 == 0xFFFFFFFF;
}

bool IpAddress::IsOnLocalNetwork() const {
    return IsLoopback() || IsPrivate() || IsLinkLocal();
}

bool IpAddress::IsClosedToStrangers() const {
    return IsOnLocalNetwork() || IsUnspecified() || IsSharedAddressSpace() || IsBroadcast();
}

bool HostHasAddress(const std::string& host, AddressTest test, const std::function<bool()>& stopped,
                    const HostResolver& resolver, std::chrono::milliseconds limit) {
    if (host.empty()) return false;
    // A literal address is judged as it is: a missing reverse entry must not change its kind,
    // and no DNS traffic is needed for it.
    if (const auto literal = IpAddress::Parse(host)) return ((*literal).*test)();
    // A name needs DNS, which may not answer: the wait is bounded and a stop ends it.
    HostAddresses addresses;
    if (LookUpHostBounded(host, addresses, limit, stopped, resolver) != LookupStatus::Found) {
        return false;
    }
    return std::any_of(addresses.begin(), addresses.end(), [test](const auto& bytes) {
        const auto address = IpAddress::FromBytes(bytes);
        return address && ((*address).*test)();
    });
}

}  // namespace kov
