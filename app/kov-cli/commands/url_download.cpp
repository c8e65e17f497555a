#include "commands/url_download.h"

#include <unistd.h>

#include <cstdio>

#include "cli_options.h"
#include "net/http/response_headers.h"
#include "session/application.h"

namespace kov::cli {

namespace {

int Refuse(const std::string& message) {
    std::fprintf(stderr, "kov-cli: %s\n", message.c_str());
    return kExitUsage;
}

// The item for one URL: the new-URL defaults, but the address exactly as given (a number in
// it starts no series), and the file lands in folder under the server's name.
UrlItem TemporaryItem(const ListDocument& doc, const std::string& url, const std::string& folder) {
    UrlItem item = doc.MakeNewItem(url);
    item.Dest = folder;
    // Due now and once: no series, no earlier days, no portion of a distributed download.
    item.NumBased = item.days = item.dayShift = item.interval = 0;
    item.Disabled = item.CEType = item.DstDlActive = 0;
    const std::string file = FileNameOfUrl(url);
    if (!file.empty()) item.Name = file.substr(0, UrlItem::kNameCapacity);
    return item;
}

}  // namespace

int DownloadUrls(Application& app, const std::vector<std::string>& urls,
                 const SessionOutput& output) {
    char cwd[4096];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return Refuse("the current folder cannot be read");
    std::string folder = cwd;
    if (folder.back() != '/') folder += '/';
    if (folder.size() > UrlItem::kDestCapacity)
        return Refuse("the current folder's path is longer than " +
                      std::to_string(UrlItem::kDestCapacity) + " characters");
    for (const std::string& url : urls) {
        // A cut address would fetch another file.
        if (url.size() > UrlItem::kUrlCapacity)
            return Refuse(url.substr(0, 40) + "...: longer than " +
                          std::to_string(UrlItem::kUrlCapacity) + " characters");
    }
    // The list on disk stays as it is: its rows make way in memory, and nothing saves them.
    app.Settings().newUrl.ParseUrl = 0;
    ListDocument& doc = app.Document();
    doc.Rows().Clear();
    for (const std::string& url : urls)
        doc.AddItem(TemporaryItem(doc, url, folder));
    bool powerOff = false;
    return RunAutoSession(app, output, powerOff);
}

}  // namespace kov::cli
