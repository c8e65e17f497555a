#pragma once

#include <ctime>
#include <string>

namespace kov {

class DownloadJob;

// True when any rule set applies to a page of the job at url.
bool PageRulesApply(const DownloadJob& job, const std::string& url);

// Applies the rules to a page the job has delivered, before anything parses it: the rules of
// the site the page's URL belongs to, the banner rules when the item rips banners, then the
// item's own rules when it enables them, posting an event for each set that replaced
// something. The page is rewritten when anything was replaced, stamped as rewritten (see
// StampRewritten) from the time the delivery left it with; call it once per delivery. A failed
// write is reported as a message event and leaves the page as it was.
// `fetchedWhileRipping`: a page the ripper fetched; its events are debug details.
void ApplyPageRules(DownloadJob& job, const std::string& url, const std::string& localPath,
                    bool fetchedWhileRipping);

// Marks a delivered file that the job rewrites: its time becomes servedAt (the server's time,
// which the transfer gave it) plus kRewrittenShift, so that no later run takes it for the
// server's copy, and it never drifts however often it is written.
void StampRewritten(const std::string& path, std::time_t servedAt);

}  // namespace kov
