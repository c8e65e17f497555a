#pragma once

// How a job reaches servers: the local-network test, the proxies of the environment, the
// access type and proxy of a job's session, and the user-agent text.

#include <chrono>
#include <functional>
#include <string>
#include <string_view>

#include "core/settings/app_settings.h"
#include "net/address.h"
#include "net/http/inet.h"
#include "platform/host_lookup.h"

namespace kov {

// 1 when host (blanks and brackets allowed) is on the local network
// (IpAddress::IsOnLocalNetwork), else 0. A numeric host is judged without any DNS query; a name
// is local when one of its addresses is; a name that does not resolve is not local. The lookup
// ends when stopped (may be empty) says so or after limit, the host then counting as not local;
// resolver empty: the system's.
int IsLocalHost(std::string_view host, const std::function<bool()>& stopped = {},
                const HostResolver& resolver = {},
                std::chrono::milliseconds limit = kLocalLookupLimit);

// Which proxy variable GetSystemProxy reads.
enum SystemProxyProtocol : int {
    kSystemProxyAll = 0,     // all_proxy
    kSystemProxyHttp = 1,    // http_proxy, else all_proxy
    kSystemProxyFtp = 2,     // ftp_proxy, else all_proxy
    kSystemProxyGopher = 3,  // no variable of its own: all_proxy
    kSystemProxyHttps = 4,   // https_proxy, else all_proxy
};

// The environment's proxy for a protocol. The lower-case variable wins over the upper-case
// one; an empty variable counts as unset. An "http://" prefix and a trailing "/" are removed
// (other schemes such as socks5:// are kept: they change how the proxy is spoken to). True
// when a proxy was found; out is cleared otherwise.
bool GetSystemProxy(int protocol, std::string& out);

// True when host matches a no_proxy list: entries separated by commas or blanks, "*" matches
// every host, any other entry matches the host itself and its subdomains (a leading "." and
// a ":port" of the entry are ignored). Case-insensitive.
bool NoProxyMatches(std::string_view host, std::string_view noProxyList);

// Whether FTP URLs go through a proxy. The job turns it off for local hosts when
// BypassProxyLocal is set.
bool FtpViaProxy(const AppSettings& settings);

// The access of one Internet session. proxyName is set for NamedProxy only; proxyUser and
// proxyPassword are set only for a named proxy and only when configured (empty = not set).
struct AccessChoice {
    AccessType access = AccessType::Direct;
    std::string proxyName;
    std::string proxyUser, proxyPassword;
};

// The access of a job's session; local hosts go direct when BypassProxyLocal is set.
AccessChoice ChooseAccess(const AppSettings& settings, bool isLocal);

// The prober's access: the same choice without the local bypass.
AccessChoice ChooseProberAccess(const AppSettings& settings);

// The prober always presents itself with this text.
inline constexpr const char* kProberUserAgent =
    "Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)";

// The lowest and highest StdUserAgent values of the built-in table.
inline constexpr int kFirstStdUserAgent = 1;
inline constexpr int kLastStdUserAgent = 6;

// The text sent as User-Agent: the built-in text of StdUserAgent, else the own UserAgent
// text. Control characters are removed (a line break would start a new header) and an empty
// own text gives the text of value 1.
std::string UserAgent(const AppSettings& settings);

// The label shown for a StdUserAgent value; empty for values outside the table.
std::string_view UserAgentLabel(int value);

}  // namespace kov
