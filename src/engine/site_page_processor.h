#pragma once

#include <string>

#include "engine/download_job.h"

namespace kov {

class HtmlRipper;

// The page processing of a job: the rules for the delivered page, then the rip of what it
// embeds and links to, fetched record by record through the job's transfer (so the job's
// connections are reused), each fetched page processed in turn, and the cross references
// rewritten at the end. Holds no state of its own: one object serves every job of a session.
class SitePageProcessor : public PageProcessor {
public:
    void ProcessPage(DownloadJob& job, const std::string& url, const std::string& localPath,
                     ResourceInfo& info) override;
    // A page that is ripped is rewritten on every delivery; one that only the rules edit is
    // rewritten once.
    Rewrite RewriteOf(const DownloadJob& job, const std::string& url) const override;

    // The processor sessions install.
    static SitePageProcessor& Shared();

private:
    static void Configure(DownloadJob& job, HtmlRipper& ripper);
    static void ProcessFetched(DownloadJob& job, HtmlRipper& ripper, std::size_t i,
                               const std::string& localPath, bool html);
    static int FetchLinked(DownloadJob& job, const std::string& url, std::string& localPath,
                           bool textOnly, ResourceInfo& info);
};

}  // namespace kov
