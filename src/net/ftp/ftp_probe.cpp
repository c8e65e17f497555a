#include "net/ftp/ftp_probe.h"

#include "model/url_parts.h"
#include "net/ftp/ftp_client.h"
#include "net/ftp/ftp_fetch.h"
#include "net/transfer/resource_prober.h"

namespace kov {

unsigned ProbeFtp(const std::string& url, ResourceInfo& info, const std::string& user,
                  const std::string& password, int& error, std::string& errorText,
                  const std::atomic<int>* stop) {
    UrlParts parts;
    if (!SplitUrl(url, parts, true) || parts.scheme != "ftp" || parts.host.empty()) {
        error = kProbeUnsupported;
        return 0;
    }
    const std::string& name = parts.user.empty() ? user : parts.user;
    const std::string& secret = parts.user.empty() ? password : parts.password;
    FtpClient client(stop);
    if (!client.Connect(parts.host, parts.port > 0 ? parts.port : 21) ||
        !client.Login(name, secret)) {
        error = kProbeNoConnection;
        errorText = client.LastReplyText();
        client.Quit();
        return 0;
    }
    client.SetDataMode(FtpDataMode::Auto);
    std::string path = parts.object;
    const std::size_t query = path.find_first_of("?#");
    if (query != std::string::npos) path.resize(query);
    const std::size_t slash = path.rfind('/');
    const std::string file = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash);
    if (slash == 0) folder = "/";
    if (!folder.empty() && !client.ChangeFolder(folder)) {
        error = kProbeNoFolder;
        errorText = client.LastReplyText();
        client.Quit();
        return 0;
    }
    const bool pattern = file.find_first_of("*?") != std::string::npos;
    const int index = client.List(file) < 1 ? -1 : pattern ? 0 : EntryForName(client, file);
    if (index < 0) {
        error = kProbeNoEntry;
        errorText = client.LastReplyText();
        client.Quit();
        return 0;
    }
    const FtpEntry& entry = *client.Entry(static_cast<std::size_t>(index));
    info.size = entry.size;
    info.lastModified = EntryTime(entry);
    info.flags = kHasLength | kHasLastModified;
    info.contentType = "--";
    info.category = -1;
    info.isHtml = 0;
    info.acceptRanges = 1;
    client.Quit();
    return info.flags;
}

}  // namespace kov
