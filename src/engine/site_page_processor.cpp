#include "engine/site_page_processor.h"

#include "content/html/html_ripper.h"
#include "content/html/link_kind.h"
#include "core/language/message_table.h"
#include "core/text/text_util.h"
#include "engine/page_rules_step.h"
#include "model/url_parts.h"
#include "net/http/http_download.h"
#include "net/http/response_headers.h"
#include "net/transfer/resource_prober.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr int kMaxNesting = 32;

bool Stopping(const DownloadJob& job) {
    return job.stopRequest.load() != kStopNone;
}

bool LimitReached(const DownloadJob& job) {
    const JobEnvironment& env = job.Environment();
    return !job.IsLocal() && env.limitReached && env.limitReached();
}

// The names ParseCssFile is given.
bool IsStyleSheet(const std::string& localPath) {
    return localPath.size() > 5 && IEndsWith(localPath, ".css");
}

int NestingLimit(const UrlItem& item) {
    return item.NestedDepth >= 1 && item.NestedDepth <= kMaxNesting ? item.NestedDepth : 1;
}

}  // namespace

SitePageProcessor& SitePageProcessor::Shared() {
    static SitePageProcessor processor;
    return processor;
}

void SitePageProcessor::Configure(DownloadJob& job, HtmlRipper& ripper) {
    const AppSettings& settings = job.Settings();
    const UrlItem& item = job.Item();
    ripper.SetKinds(item.WithPics ? settings.DownloadFlagsFull : settings.DownloadFlags);
    ripper.SetCancelFlag(&job.stopRequest);
    ripper.SetSaveOriginalNames(settings.SaveOriginalNames != 0);
    ripper.SetModern(settings.ModernHtml != 0);
    ripper.SetEnableHttps(settings.EnableHttps != 0);
    ripper.SetNames(&job.ripNames);
    if (settings.DetectUrlTypes) {
        // A header-only question for each link whose name says nothing of its type.
        auto prober = std::make_shared<ResourceProber>(settings);
        ripper.SetDetectUrlTypes(true, [prober, &job](const std::string& url) {
            ResourceInfo info;
            const unsigned flags =
                prober->Probe(url, info, job.Item().UserName, job.Item().UserPsw);
            return (flags & kHasContentType) ? info.contentType : std::string();
        });
    }
}

Rewrite SitePageProcessor::RewriteOf(const DownloadJob& job, const std::string& url) const {
    const UrlItem& item = job.Item();
    const AppSettings& settings = job.Settings();
    if ((item.WithPics ? settings.DownloadFlagsFull : settings.DownloadFlags) != 0 ||
        item.WithLinks)
        return Rewrite::Always;
    return PageRulesApply(job, url) ? Rewrite::Settled : Rewrite::None;
}

void SitePageProcessor::ProcessPage(DownloadJob& job, const std::string& url,
                                    const std::string& localPath, ResourceInfo&) {
    const UrlItem& item = job.Item();
    const int detail = job.Settings().LogDetail;
    if (RewriteOf(job, url) == Rewrite::None) return;
    const std::optional<std::time_t> served = LastWriteTime(localPath);
    ApplyPageRules(job, url, localPath, false);
    // Edited or about to be: no copy of the server's any more. For a page only the rules edit,
    // its processing is complete here, and the page up to date until the server's changes.
    if (served) StampRewritten(localPath, *served);
    if (TooLargeToRip(job, localPath)) return;

    HtmlRipper ripper;
    Configure(job, ripper);
    ripper.SetPageHost(url);
    ripper.ResetLinks(localPath, url);
    if (ripper.Kinds() != 0) {
        if (detail >= 2) job.PostEvent(kEventParseStarted, 0, 0, url, localPath);
        const std::size_t before = ripper.Count();
        ripper.ParseHtmlFile(localPath, url, false);
        job.linkIndex = 0;
        job.linkCount = static_cast<int>(ripper.Count());
        if (detail >= 1)
            job.PostEvent(kEventParseFinished, ripper.Count() - before, 0, url, localPath);
    }
    if (item.WithLinks) {
        if (detail >= 2) job.PostEvent(kEventLinksStarted, 0, 0, url, localPath);
        const int found = ripper.GrabHtmlLinks(localPath, url, 0, 0);
        job.linkCount = static_cast<int>(ripper.Count());
        if (detail >= 1) job.PostEvent(kEventLinksFound, found, 0, url, localPath);
    }

    const bool textOnly = job.Settings().DocModeFlags != 0;
    for (std::size_t i = 1; i < ripper.Count() && !Stopping(job); ++i) {
        const LinkRecord record = ripper.Record(i);
        if (!record.fetch || record.downloaded) continue;
        job.linkIndex = static_cast<int>(i);
        job.linkCount = static_cast<int>(ripper.Count());
        std::string path = record.localPath;
        ResourceInfo fetched;
        // Pages found as links (depth above 0) may be limited to text.
        const int result =
            FetchLinked(job, ripper, record, path, textOnly && record.depth > 0, fetched);
        if (result == kResultOk) {
            ripper.SetDownloaded(i, true);
            if (fetched.finalUrl != record.url) ripper.SetFinalUrl(i, fetched.finalUrl);
            ProcessFetched(job, ripper, i, path, fetched.isHtml != 0);
        }
        if (job.Transfer().boundHit == FetchBound::Disk) {
            job.PostEvent(kEventMessage, result, 0,
                          GetString(EventCode::RipDiskNearlyFull) + ": " + record.url);
            break;
        }
        if (LimitReached(job)) break;
    }

    if (item.WithLinks && ripper.Count() > 1 && !Stopping(job)) {
        const bool modern = job.Settings().ModernHtml != 0;
        // The main page's own links point at the fetched pages too, when pages are written
        // as today's mirrors expect.
        for (std::size_t i = modern ? 0 : 1; i < ripper.Count() && !Stopping(job); ++i) {
            const LinkRecord& record = ripper.Record(i);
            if (record.kind != kKindPage || !record.downloaded || !record.html) continue;
            if (detail >= 1) job.PostEvent(kEventCrossRefs, 0, 0, record.localPath);
            ripper.AdjustCrossRefs(i);
        }
    }
}

bool SitePageProcessor::TooLargeToRip(DownloadJob& job, const std::string& localPath) const {
    const std::uint64_t size = FileSize(localPath).value_or(0);
    if (size <= m_limits.maxPageBytes) return false;
    job.PostEvent(kEventMessage, 0, 0,
                  GetString(EventCode::RipPageTooLarge) + " " + localPath + " (" +
                      std::to_string(size) + " > " + std::to_string(m_limits.maxPageBytes) + ")");
    return true;
}

void SitePageProcessor::ProcessFetched(DownloadJob& job, HtmlRipper& ripper, std::size_t i,
                                       const std::string& localPath, bool html) const {
    const int detail = job.Settings().LogDetail;
    const LinkRecord record = ripper.Record(i);
    // Relative references are relative to where the server finally delivered the resource.
    const std::string& url = record.finalUrl.empty() ? record.url : record.finalUrl;
    const std::optional<std::time_t> served = LastWriteTime(localPath);
    const bool tooLarge = (html || IsStyleSheet(localPath)) && TooLargeToRip(job, localPath);
    if (IsStyleSheet(localPath)) {
        if (served) StampRewritten(localPath, *served);
        if (tooLarge) return;
        ripper.ParseCssFile(localPath, url);
        job.linkCount = static_cast<int>(ripper.Count());
        return;
    }
    if (!html) return;
    // A page too large to rip is neither parsed nor given cross references.
    if (!tooLarge) ripper.SetHtml(i);
    ApplyPageRules(job, record.url, localPath, true);
    if (served) StampRewritten(localPath, *served);
    if (tooLarge) return;
    if (ripper.Kinds() != 0 && !Stopping(job)) {
        if (detail >= 1) job.PostEvent(kEventParseStarted, 0, 0, record.url, localPath);
        const std::size_t before = ripper.Count();
        ripper.ParseHtmlFile(localPath, url, false);
        job.linkCount = static_cast<int>(ripper.Count());
        if (detail >= 2)
            job.PostEvent(kEventParseFinished, ripper.Count() - before, 0, record.url, localPath);
    }
    const UrlItem& item = job.Item();
    const int nesting = NestingLimit(item);
    if (item.WithLinks && nesting > 1 && record.kind == kKindPage && record.depth < nesting &&
        !Stopping(job)) {
        if (detail >= 1) job.PostEvent(kEventLinksStarted, 0, 0, record.url, localPath);
        const int found = ripper.GrabHtmlLinks(localPath, url, record.depth, static_cast<int>(i));
        job.linkCount = static_cast<int>(ripper.Count());
        if (detail >= 2) job.PostEvent(kEventLinksFound, found, 0, record.url, localPath);
    }
}

// One record into its chosen local file: the name stays the ripper's (the page refers to it),
// whatever the server calls the resource.
int SitePageProcessor::FetchLinked(DownloadJob& job, const HtmlRipper& ripper,
                                   const LinkRecord& record, std::string& localPath, bool textOnly,
                                   ResourceInfo& info) const {
    const std::string& url = record.url;
    info.status = -1;
    UrlParts parts;
    if (!SplitUrl(url, parts, false)) return kResultUnsupported;
    const bool https = parts.scheme == "https" && job.Settings().EnableHttps != 0;
    if (parts.scheme != "http" && !https) return kResultUnsupported;
    TransferJob& transfer = job.Transfer();
    const bool destIsFile = transfer.destIsFile;
    const std::string urlFileName = transfer.urlFileName;
    auto rewriteOf = std::move(transfer.rewriteOf);
    transfer.destIsFile = true;
    transfer.urlFileName = FileNameOfUrl(url);
    // Every page and style sheet of the rip is rewritten once it arrives (ProcessFetched).
    transfer.rewriteOf = [](const std::string&, const std::string& path, bool html) {
        return html || IsStyleSheet(path) ? Rewrite::Always : Rewrite::None;
    };
    transfer.maxBytes = m_limits.maxResourceBytes;
    transfer.minFreeBytes = m_limits.minFreeBytes;
    transfer.timeAllowed = m_limits.resourceTime;
    transfer.acceptCompressed = true;
    // A link followed because it is on the site must still be on it after redirects.
    if (record.depth > 0) {
        transfer.redirectAllowed = [&ripper](const std::string& target) {
            return ripper.PassesHostTest(target);
        };
    }
    std::string finalUrl;
    const int result =
        FetchHttp(url, localPath, textOnly ? 1 : 0, 0, std::string(), &info, transfer, &finalUrl);
    info.finalUrl = finalUrl;
    transfer.destIsFile = destIsFile;
    transfer.urlFileName = urlFileName;
    transfer.rewriteOf = std::move(rewriteOf);
    transfer.maxBytes = 0;
    transfer.minFreeBytes = 0;
    transfer.timeAllowed = {};
    transfer.acceptCompressed = false;
    transfer.redirectAllowed = nullptr;
    return result;
}

}  // namespace kov
