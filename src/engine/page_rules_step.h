#pragma once

#include <string>

namespace kov {

class DownloadJob;

// Applies the rules to a page the job has delivered, before anything parses it: the rules of
// the site the page's URL belongs to, the banner rules when the item rips banners, then the
// item's own rules when it enables them, posting an event for each set that replaced
// something. The page is rewritten (keeping its time stamps) when anything was replaced; a
// failed write is reported as a message event and leaves the page as it was.
// `fetchedWhileRipping`: a page the ripper fetched; its events are debug details.
void ApplyPageRules(DownloadJob& job, const std::string& url, const std::string& localPath,
                    bool fetchedWhileRipping);

}  // namespace kov
