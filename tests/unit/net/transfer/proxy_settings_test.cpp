#include "net/transfer/proxy_settings.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iterator>
#include <optional>
#include <string>

#include "kov_version.h"
#include "support/env_guard.h"

namespace kov {
namespace {

// Clears the proxy variables for one test and puts the old values back afterwards.
class ProxyEnvironment {
public:
    ProxyEnvironment() {
        for (const char* name : kNames)
            ::unsetenv(name);
    }
    void Set(const char* name, const char* value) { ::setenv(name, value, 1); }

private:
    static constexpr const char* kNames[] = {
        "http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "ftp_proxy",
        "FTP_PROXY",  "all_proxy",  "ALL_PROXY",   "no_proxy",    "NO_PROXY"};
    test::EnvGuard m_guard{{std::begin(kNames), std::end(kNames)}};
};

std::optional<std::string> Proxy(int protocol) {
    std::string out = "stale";
    if (!GetSystemProxy(protocol, out)) {
        EXPECT_EQ(out, "");
        return std::nullopt;
    }
    return out;
}

// Prefixes are compared number by number: 172.2 is not 172.20, 192.169 is not 192.168.
TEST(IsLocalHost, PrivateLoopbackLinkLocalAndResolvedNames) {
    for (const char* host :
         {"192.168.1.5", "10.1.2.3", "127.0.0.1", "172.20.0.1", "172.16.0.1", "172.31.255.255",
          " 192.168.0.1 ", "::1", "[::1]", "fe80::1", "febf:ffff::1", "fc00::1", "fd12:3456::9",
          "::ffff:192.168.1.1", "[::ffff:10.0.0.1]", "localhost", "127.1.0.1"})
        EXPECT_EQ(IsLocalHost(host), 1) << host;
    for (const char* host :
         {"172.15.0.1", "172.32.0.1", "172.2.0.1", "192.169.1.1", "8.8.8.8", "100.64.0.1",
          "2001:db8::1", "fec0::1", "fe00::1", "fb00::1", "::2", "::ffff:8.8.8.8",
          "::ffff:172.32.0.1", "no-such-host.invalid", "", "[]"})
        EXPECT_EQ(IsLocalHost(host), 0) << host;
}

TEST(GetSystemProxy, ReadsProtocolVariableThenAllProxy) {
    ProxyEnvironment env;
    for (int protocol = 0; protocol <= 4; ++protocol)
        EXPECT_FALSE(Proxy(protocol)) << protocol;

    env.Set("http_proxy", "http://proxy.lan:3128/");
    EXPECT_EQ(Proxy(kSystemProxyHttp), "proxy.lan:3128");
    EXPECT_FALSE(Proxy(kSystemProxyAll));
    EXPECT_FALSE(Proxy(kSystemProxyFtp));

    env.Set("all_proxy", "  every.lan:8080  ");
    EXPECT_EQ(Proxy(kSystemProxyAll), "every.lan:8080");
    EXPECT_EQ(Proxy(kSystemProxyHttp), "proxy.lan:3128");
    EXPECT_EQ(Proxy(kSystemProxyFtp), "every.lan:8080");
    EXPECT_EQ(Proxy(kSystemProxyGopher), "every.lan:8080");
    EXPECT_EQ(Proxy(kSystemProxyHttps), "every.lan:8080");

    env.Set("ftp_proxy", "HTTP://ftp.lan:21//");
    env.Set("https_proxy", "secure.lan:443");
    EXPECT_EQ(Proxy(kSystemProxyFtp), "ftp.lan:21");
    EXPECT_EQ(Proxy(kSystemProxyHttps), "secure.lan:443");
    // Only http:// is taken off: another scheme changes how the proxy is spoken to.
    env.Set("all_proxy", "socks5://sock.lan:1080");
    EXPECT_EQ(Proxy(kSystemProxyAll), "socks5://sock.lan:1080");
}

TEST(GetSystemProxy, LowerCaseWinsAndEmptyCountsAsUnset) {
    ProxyEnvironment env;
    env.Set("HTTP_PROXY", "upper.lan:1");
    EXPECT_EQ(Proxy(kSystemProxyHttp), "upper.lan:1");
    env.Set("http_proxy", "lower.lan:2");
    EXPECT_EQ(Proxy(kSystemProxyHttp), "lower.lan:2");
    env.Set("http_proxy", "");
    EXPECT_EQ(Proxy(kSystemProxyHttp), "upper.lan:1");

    env.Set("ALL_PROXY", "ALL.lan:3");
    EXPECT_EQ(Proxy(kSystemProxyFtp), "ALL.lan:3");
    env.Set("all_proxy", "all.lan:4");
    EXPECT_EQ(Proxy(kSystemProxyFtp), "all.lan:4");
    env.Set("FTP_PROXY", "FTP.lan:5");
    EXPECT_EQ(Proxy(kSystemProxyFtp), "FTP.lan:5");
    env.Set("ftp_proxy", "/");  // nothing left after the slash is removed
    EXPECT_EQ(Proxy(kSystemProxyFtp), std::nullopt);
}

TEST(NoProxyMatches, SuffixEntriesWildcardAndPorts) {
    const struct {
        const char* host;
        const char* list;
        bool matches;
    } cases[] = {
        {"anything.example", "*", true},
        {"example.com", "localhost, example.com", true},
        {"www.Example.COM", ".example.com", true},
        {"a.b.example.com", "foo.org,example.com", true},
        {"intranet", "intranet:8080", true},
        {"::1", "[::1]:80", true},
        {"[::1]", "::1", true},
        {"10.0.0.1", "10.0.0.1 192.168.0.1", true},
        {"badexample.com", "example.com", false},
        {"example.com.evil", "example.com", false},
        {"example.com", "", false},
        {"example.com", " , ,", false},
        {"", "example.com", false},
        {"host", "*.host", false},  // "*" only alone
    };
    for (const auto& c : cases)
        EXPECT_EQ(NoProxyMatches(c.host, c.list), c.matches) << c.host << " in " << c.list;
}

TEST(FtpViaProxy, SystemProxyOrConfiguredFtpProxy) {
    ProxyEnvironment env;
    AppSettings s;
    s.ProxyFromIE = 1;
    s.FtpProxy = 1;
    s.FtpProxyAddress = "ftpproxy:21";
    EXPECT_FALSE(FtpViaProxy(s));  // the settings' FTP proxy is not used with system proxies
    env.Set("all_proxy", "every.lan:8080");
    EXPECT_TRUE(FtpViaProxy(s));
    ::unsetenv("all_proxy");
    env.Set("FTP_PROXY", "ftp.lan:2121");
    EXPECT_TRUE(FtpViaProxy(s));

    s.ProxyFromIE = 0;
    EXPECT_TRUE(FtpViaProxy(s));
    s.FtpProxyAddress.clear();
    EXPECT_FALSE(FtpViaProxy(s));
    s.FtpProxyAddress = "ftpproxy:21";
    s.FtpProxy = 0;
    EXPECT_FALSE(FtpViaProxy(s));
}

TEST(ChooseAccess, EveryBranchForJobsAndProber) {
    AppSettings s;
    s.ProxyFromIE = 0;
    s.Proxy = 1;
    s.ProxyAddress = "proxy.lan:3128";
    s.ProxyUser = "user";
    s.ProxyPsw = "secret";
    s.BypassProxyLocal = 1;

    EXPECT_EQ(ChooseAccess(s, true).access, AccessType::Direct);
    AccessChoice named = ChooseAccess(s, false);
    EXPECT_EQ(named.access, AccessType::NamedProxy);
    EXPECT_EQ(named.proxyName, "proxy.lan:3128");
    EXPECT_EQ(named.proxyUser, "user");
    EXPECT_EQ(named.proxyPassword, "secret");
    // The prober has no local bypass.
    EXPECT_EQ(ChooseProberAccess(s).access, AccessType::NamedProxy);
    EXPECT_EQ(ChooseProberAccess(s).proxyName, "proxy.lan:3128");

    s.BypassProxyLocal = 0;
    EXPECT_EQ(ChooseAccess(s, true).access, AccessType::NamedProxy);

    s.ProxyAddress.clear();
    EXPECT_EQ(ChooseAccess(s, false).access, AccessType::Direct);
    s.ProxyAddress = "proxy.lan:3128";
    s.Proxy = 0;
    EXPECT_EQ(ChooseAccess(s, false).access, AccessType::Direct);
    EXPECT_EQ(ChooseProberAccess(s).access, AccessType::Direct);

    // System proxies win over the named proxy; the bypass still wins over both.
    s.Proxy = 1;
    s.ProxyFromIE = 1;
    AccessChoice system = ChooseAccess(s, false);
    EXPECT_EQ(system.access, AccessType::Preconfigured);
    EXPECT_EQ(system.proxyUser, "");
    EXPECT_EQ(ChooseProberAccess(s).access, AccessType::Preconfigured);
    EXPECT_EQ(ChooseAccess(s, true).access, AccessType::Preconfigured);
    s.BypassProxyLocal = 1;
    EXPECT_EQ(ChooseAccess(s, true).access, AccessType::Direct);
}

TEST(UserAgent, OwnTextIsOneHeaderLine) {
    AppSettings s;
    s.StdUserAgent = 0;
    s.UserAgent = "MyAgent/1.0";
    EXPECT_EQ(UserAgent(s), "MyAgent/1.0");
    // A line break in the own text would start a header of its own.
    s.UserAgent = "Evil/1\r\nX-Injected: 1";
    EXPECT_EQ(UserAgent(s), "Evil/1X-Injected: 1");
    s.UserAgent = " \t ";
    EXPECT_EQ(UserAgent(s), "Kov/" KOV_VERSION " (Linux)");
    EXPECT_EQ(UserAgent(AppSettings{}), "Kov/" KOV_VERSION " (Linux)") << "the default";
    s.StdUserAgent = 7;
    EXPECT_EQ(UserAgentLabel(7), "");
}

}  // namespace
}  // namespace kov
