#include "net/address.h"

#include <gtest/gtest.h>

#include "net/transfer/proxy_settings.h"

namespace kov {
namespace {

// Each address against every named predicate, in the order: loopback, private, link-local,
// shared address space, unspecified, broadcast; then the two questions callers ask.
TEST(IpAddress, OneClassifierForBothFamilies) {
    const struct {
        const char* text;
        const char* kinds;  // L P K S U B, '-' for no
        bool local;         // IsOnLocalNetwork
        bool closed;        // IsClosedToStrangers
    } cases[] = {
        // clang-format off
        {"127.0.0.1", "L-----", true, true},     {"127.1.2.3", "L-----", true, true},
        {"0x7f.1", "L-----", true, true},        {"2130706433", "L-----", true, true},
        {"10.0.0.1", "-P----", true, true},      {"172.16.0.1", "-P----", true, true},
        {"172.31.255.255", "-P----", true, true}, {"172.32.0.1", "------", false, false},
        {"192.168.9.9", "-P----", true, true},   {"192.169.0.1", "------", false, false},
        {"169.254.169.254", "--K---", true, true}, {"100.64.0.1", "---S--", false, true},
        {"100.128.0.1", "------", false, false}, {"0.0.0.0", "----U-", false, true},
        {"255.255.255.255", "-----B", false, true}, {"8.8.8.8", "------", false, false},
        {"::1", "L-----", true, true},           {"::", "----U-", false, true},
        {"::2", "------", false, false},         {"fe80::1%eth0", "--K---", true, true},
        {"febf::1", "--K---", true, true},       {"fec0::1", "------", false, false},
        {"fc00::1", "-P----", true, true},       {"fdff::1", "-P----", true, true},
        {"::ffff:127.1.2.3", "L-----", true, true}, {"::ffff:100.64.1.1", "---S--", false, true},
        {"::ffff:8.8.8.8", "------", false, false}, {"2001:db8::1", "------", false, false},
        // clang-format on
    };
    const AddressTest kinds[] = {&IpAddress::IsLoopback,    &IpAddress::IsPrivate,
                                 &IpAddress::IsLinkLocal,   &IpAddress::IsSharedAddressSpace,
                                 &IpAddress::IsUnspecified, &IpAddress::IsBroadcast};
    for (const auto& c : cases) {
        const auto address = IpAddress::Parse(c.text);
        ASSERT_TRUE(address) << c.text;
        for (int i = 0; i < 6; ++i)
            EXPECT_EQ(((*address).*kinds[i])(), c.kinds[i] != '-') << c.text << " kind " << i;
        EXPECT_EQ(address->IsOnLocalNetwork(), c.local) << c.text;
        EXPECT_EQ(address->IsClosedToStrangers(), c.closed) << c.text;
        // The speed limits and the proxy bypass ask the same classifier.
        EXPECT_EQ(IsLocalHost(c.text), c.local ? 1 : 0) << c.text;
    }
    for (const char* text : {"", "example.com", "1.2.3.4 x", "1.2.3.4.5", "::g"})
        EXPECT_FALSE(IpAddress::Parse(text)) << text;
    EXPECT_FALSE(IpAddress::FromBytes({1, 2, 3}));
    EXPECT_TRUE(IpAddress::FromBytes({127, 9, 9, 9})->IsLoopback());
}

}  // namespace
}  // namespace kov
