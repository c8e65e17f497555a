#include "url_check.h"

#include "core/text_util.h"
#include "model/url_parts.h"

namespace kov::cli {

std::string UrlProblem(const std::string& url, bool httpsEnabled) {
    if (IStartsWith(url, "file://")) return url.size() > 7 ? "" : url + ": no path";
    UrlParts parts;
    if (!SplitUrl(url, parts, false) || parts.scheme.empty())
        return url + ": not an address (http://, https://, ftp:// or file://)";
    const std::string scheme = ToLowerAscii(parts.scheme);
    if (scheme == "https" && !httpsEnabled) return url + ": https is switched off (EnableHttps)";
    if (scheme != "http" && scheme != "https" && scheme != "ftp")
        return url + ": unsupported scheme " + parts.scheme +
               " (http, https, ftp and file are supported)";
    if (parts.host.empty()) return url + ": no host";
    return {};
}

}  // namespace kov::cli
