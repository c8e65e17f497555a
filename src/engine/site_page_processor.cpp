#include "engine/site_page_processor.h"

#include <algorithm>
#include <new>
#include <thread>
#include <vector>

#include "content/html/html_ripper.h"
#include "content/html/link_kind.h"
#include "content/html/rip_record_file.h"
#include "core/language/message_table.h"
#include "core/text/text_util.h"
#include "engine/page_rules_step.h"
#include "engine/parallel_cross_refs.h"
#include "engine/rip_fetch_pool.h"
#include "engine/run_shares.h"
#include "model/url_parts.h"
#include "net/http/http_download.h"
#include "net/http/kept_validators.h"
#include "net/http/response_headers.h"
#include "net/transfer/fetch_plan.h"
#include "net/transfer/resource_prober.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr int kMaxNesting = 32;

bool Stopping(const DownloadJob& job) {
    return job.stopRequest.load() != kStopNone;
}

bool StoppingNow(const DownloadJob& job) {
    return job.stopRequest.load() >= kStopNow;
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

int SitePageProcessor::Fetchers(const DownloadJob& job) const {
    return std::clamp(job.Settings().MaxThreads, 1, m_limits.fetchersPerHost);
}

SitePageProcessor& SitePageProcessor::Shared() {
    static SitePageProcessor processor;
    return processor;
}

void SitePageProcessor::Configure(DownloadJob& job, HtmlRipper& ripper) const {
    const AppSettings& settings = job.Settings();
    const UrlItem& item = job.Item();
    ripper.SetKinds(item.WithPics ? settings.DownloadFlagsFull : settings.DownloadFlags);
    ripper.SetCancelFlag(&job.stopRequest);
    ripper.SetSaveOriginalNames(settings.SaveOriginalNames != 0);
    ripper.SetModern(settings.ModernHtml != 0);
    ripper.SetEnableHttps(settings.EnableHttps != 0);
    ripper.SetNames(&job.ripNames);
    ripper.SetHoldBytes(m_limits.heldPageBytes);
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

// What one rip of a main page has done so far.
struct SitePageProcessor::RipRun {
    explicit RipRun(DownloadJob& j) : job(j) {}

    // Record i arrived in this run, with the validators of its delivery.
    void Delivered(std::size_t i, std::optional<KeptValidators> kept) {
        if (fresh.size() <= i) {
            fresh.resize(i + 1, 0);
            validators.resize(i + 1);
        }
        fresh[i] = 1;
        validators[i] = std::move(kept);
    }
    bool Fresh(std::size_t i) const { return i < fresh.size() && fresh[i] != 0; }

    DownloadJob& job;
    HtmlRipper ripper;
    std::vector<char> fresh;
    std::vector<std::optional<KeptValidators>> validators;
    bool finished = false;  // every record was tried
};

// What shapes a rip: records kept under other settings are not replayed.
std::string SitePageProcessor::Fingerprint(const DownloadJob& job, const std::string& url) {
    const AppSettings& settings = job.Settings();
    const UrlItem& item = job.Item();
    const int kinds = item.WithPics ? settings.DownloadFlagsFull : settings.DownloadFlags;
    return url + " kinds=" + std::to_string(kinds) + " links=" + std::to_string(item.WithLinks) +
           " nesting=" + std::to_string(NestingLimit(item)) +
           " modern=" + std::to_string(settings.ModernHtml) +
           " https=" + std::to_string(settings.EnableHttps) +
           " names=" + std::to_string(settings.SaveOriginalNames) +
           " text=" + std::to_string(settings.DocModeFlags) +
           " types=" + std::to_string(settings.DetectUrlTypes);
}

void SitePageProcessor::ProcessPage(DownloadJob& job, const std::string& url,
                                    const std::string& localPath, ResourceInfo& info) {
    const Rewrite rewrite = RewriteOf(job, url);
    if (rewrite == Rewrite::None) return;
    // A save of the records cut short (the program killed) leaves its temporary file behind.
    if (rewrite == Rewrite::Always) RipRecordFile(localPath).RemoveLeftovers();
    if (info.status == 304) {
        ReplayRip(job, url, localPath);
        return;
    }
    RipRun run(job);
    // Read before anything rewrites the page, which makes them stale.
    run.Delivered(0, ReadKeptValidators(localPath));
    const std::optional<std::time_t> served = LastWriteTime(localPath);
    ApplyPageRules(job, url, localPath, false);
    // Edited or about to be: no copy of the server's any more. For a page only the rules edit,
    // its processing is complete here, and the page up to date until the server's changes.
    if (served) StampRewritten(localPath, *served);
    HtmlRipper& ripper = run.ripper;
    Configure(job, ripper);
    ripper.SetPageHost(url);
    ripper.ResetLinks(localPath, url);
    // Not ripped: the next run fetches it again.
    if (TooLargeToRip(job, localPath, FileSize(localPath))) return;
    ParseMainPage(job, ripper, url, localPath);
    FetchRecords(run, false);
    AdjustCrossRefs(run);
    Conclude(run, url);
}

void SitePageProcessor::ParseMainPage(DownloadJob& job, HtmlRipper& ripper, const std::string& url,
                                      const std::string& localPath) {
    const int detail = job.Settings().LogDetail;
    if (ripper.Kinds() != 0) {
        if (detail >= 2) job.PostEvent(kEventParseStarted, 0, 0, url, localPath);
        const std::size_t before = ripper.Count();
        ripper.ParseHtmlFile(localPath, url, false);
        job.linkIndex = 0;
        job.linkCount = static_cast<int>(ripper.Count());
        if (detail >= 1)
            job.PostEvent(kEventParseFinished, ripper.Count() - before, 0, url, localPath);
    }
    if (job.Item().WithLinks) {
        if (detail >= 2) job.PostEvent(kEventLinksStarted, 0, 0, url, localPath);
        const int found = ripper.GrabHtmlLinks(localPath, url, 0, 0);
        job.linkCount = static_cast<int>(ripper.Count());
        if (detail >= 1) job.PostEvent(kEventLinksFound, found, 0, url, localPath);
    }
}

// The server has the main page as we hold it: the records of the last rip are checked in their
// order with conditional requests, and only what changed is fetched, parsed and rewritten.
void SitePageProcessor::ReplayRip(DownloadJob& job, const std::string& url,
                                  const std::string& localPath) {
    if (RewriteOf(job, url) != Rewrite::Always) return;  // a page the rules edit is complete
    const RipRecordFile file(localPath);
    const std::optional<std::vector<LinkRecord>> records = file.Load(Fingerprint(job, url));
    if (!records) {
        // Ripped under other settings (or the records are damaged): the page comes anew. No
        // record file at all: the page was never ripped (it is no HTML page).
        if (file.Exists()) RipAnew(job, url, localPath);
        return;
    }
    RipRun run(job);
    HtmlRipper& ripper = run.ripper;
    Configure(job, ripper);
    ripper.SetPageHost(url);
    ripper.ResetLinks(localPath, url);
    ripper.RestoreLinks(*records);
    job.linkIndex = 0;
    job.linkCount = static_cast<int>(ripper.Count());
    FetchRecords(run, true);
    AdjustCrossRefs(run);
    Conclude(run, url);
}

void SitePageProcessor::RipAnew(DownloadJob& job, const std::string& url,
                                const std::string& localPath) {
    TransferJob& transfer = job.Transfer();
    transfer.conditional = false;
    std::string path = localPath;
    ResourceInfo info;
    const UrlItem& item = job.Item();
    const int result =
        FetchHttp(url, path, item.ConType, item.nfsize, item.nfString, &info, transfer, nullptr);
    transfer.conditional = true;
    if (result == kResultOk && info.isHtml) ProcessPage(job, url, path, info);
}

// Fetches the records in order (the list grows as fetched pages are parsed). conditional: the
// records come from the last rip, and a copy the server reports unchanged is kept as it is.
void SitePageProcessor::FetchRecords(RipRun& run, bool conditional) const {
    DownloadJob& job = run.job;
    const int fetchers = Fetchers(job);
    if (fetchers > 1 && FetchInParallel(run, conditional, fetchers)) return;
    for (std::size_t i = 1; i < run.ripper.Count() && !Stopping(job); ++i) {
        std::optional<RipFetch> fetch = Wanted(run, i);
        if (!fetch) continue;
        job.linkIndex = static_cast<int>(i);
        job.linkCount = static_cast<int>(run.ripper.Count());
        fetch->result = FetchLinked(job, job.Transfer(), run.ripper, *fetch, conditional);
        fetch->bound = job.Transfer().boundHit;
        if (!TakeFetched(run, *fetch)) return;
    }
    run.finished = !Stopping(job);
}

// The records go out to the fetchers as they become known and come back in their order, so
// that the pages are parsed, named and rewritten as one by one, while the next ones download.
// False when the fetchers cannot be had (nothing was fetched then).
bool SitePageProcessor::FetchInParallel(RipRun& run, bool conditional, int fetchers) const {
    DownloadJob& job = run.job;
    HtmlRipper& ripper = run.ripper;
    RipFetchPool pool(job, fetchers, [&](TransferJob& transfer, RipFetch& fetch) {
        fetch.result = FetchLinked(job, transfer, ripper, fetch, conditional);
        try {
            if (fetch.result == kResultOk) fetch.file = FetchedFile::Of(fetch.path);
            Preload(job, fetch);
        } catch (const std::bad_alloc&) {
            fetch.file.reset();  // the job's thread reads it then
            fetch.page.reset();
            fetch.tags.Clear();
        }
    });
    if (!pool.Ready()) return false;
    std::size_t handedOut = 1;
    // After a stop request nothing more is handed out, and the fetch of the record next in line
    // is still taken in when it is under way: the rip ends at a file's end, as with one fetch.
    for (std::size_t i = 1; i < ripper.Count() && !StoppingNow(job); ++i) {
        for (; handedOut < ripper.Count() && !Stopping(job); ++handedOut) {
            if (std::optional<RipFetch> fetch = Wanted(run, handedOut))
                pool.Submit(std::move(*fetch));
        }
        // Whether a record is fetched is settled when it is handed out: only its own fetch
        // marks it downloaded.
        if (!Wanted(run, i)) continue;
        job.linkIndex = static_cast<int>(i);
        job.linkCount = static_cast<int>(ripper.Count());
        std::optional<RipFetch> fetch = pool.Take(i);
        if (!fetch) break;  // stopped
        if (!TakeFetched(run, *fetch)) {
            pool.Drop();
            return true;
        }
    }
    run.finished = !Stopping(job);
    return true;
}

std::optional<RipFetch> SitePageProcessor::Wanted(const RipRun& run, std::size_t i) {
    const LinkRecord& record = run.ripper.Record(i);
    if (!record.fetch || record.downloaded) return std::nullopt;
    RipFetch fetch;
    fetch.index = i;
    fetch.record = record;
    fetch.path = record.localPath;
    // Pages found as links (depth above 0) may be limited to text.
    fetch.textOnly = run.job.Settings().DocModeFlags != 0 && record.depth > 0;
    return fetch;
}

// A page read and walked on the fetcher's thread is work off the job's, which parses the pages
// one by one. Not when rules edit the page on the disk first, nor for a page too large to rip.
void SitePageProcessor::Preload(const DownloadJob& job, RipFetch& fetch) const {
    if (fetch.result != kResultOk || !fetch.info.isHtml || IsStyleSheet(fetch.path) ||
        PageRulesApply(job, fetch.record.url) || !fetch.file ||
        fetch.file->size.value_or(-1) > static_cast<std::int64_t>(m_limits.maxPageBytes))
        return;
    PageFile page;
    if (!page.Load(fetch.path)) return;
    fetch.tags = HtmlRipper::TagsOf(page.text);
    fetch.page = std::move(page);
}

bool SitePageProcessor::TakeFetched(RipRun& run, RipFetch& fetch) const {
    DownloadJob& job = run.job;
    HtmlRipper& ripper = run.ripper;
    const std::size_t i = fetch.index;
    if (fetch.result == kResultOk) {
        FetchedFile file = fetch.file ? std::move(*fetch.file) : FetchedFile::Of(fetch.path);
        run.Delivered(i, std::move(file.kept));
        ripper.SetDownloaded(i, true);
        if (fetch.info.finalUrl != fetch.record.url) ripper.SetFinalUrl(i, fetch.info.finalUrl);
        ProcessFetched(job, ripper, i, fetch.path, file, fetch.info.isHtml != 0,
                       std::move(fetch.page), std::move(fetch.tags));
    } else if (fetch.result == kResultSkipped) {
        // Unchanged on the server, or a local copy that is already whole (a run cut short
        // fetched it): kept as it is, as if fetched, so that the records come out as they would
        // have in one run.
        ripper.SetDownloaded(i, true);
    }
    if (fetch.bound == FetchBound::Disk) {
        job.PostEvent(kEventMessage, fetch.result, 0,
                      GetString(EventCode::RipDiskNearlyFull) + ": " + fetch.record.url);
        return false;
    }
    return !LimitReached(job);
}

// Links between pages point at the local copies of the pages that arrived; a page kept as it
// was already points where it should.
void SitePageProcessor::AdjustCrossRefs(RipRun& run) const {
    DownloadJob& job = run.job;
    HtmlRipper& ripper = run.ripper;
    if (!job.Item().WithLinks || ripper.Count() <= 1 || Stopping(job)) return;
    const int detail = job.Settings().LogDetail;
    const bool modern = job.Settings().ModernHtml != 0;
    // The main page's own links point at the fetched pages too, when pages are written as
    // today's mirrors expect.
    std::vector<std::size_t> pages;
    for (std::size_t i = modern ? 0 : 1; i < ripper.Count(); ++i) {
        const LinkRecord& record = ripper.Record(i);
        if (record.kind != kKindPage || !record.downloaded || !record.html || !run.Fresh(i))
            continue;
        if (detail >= 1) job.PostEvent(kEventCrossRefs, 0, 0, record.localPath);
        pages.push_back(i);
    }
    AdjustCrossRefsInParallel(ripper, pages, FinishingThreads(job), job.stopRequest);
}

int SitePageProcessor::FinishingThreads(const DownloadJob& job) const {
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return std::min(Fetchers(job), m_limits.crossRefThreads > 0 ? m_limits.crossRefThreads : cores);
}

// A finished rip keeps its records and, on every file it wrote, what the server said of the
// version it sent, so that the next run can ask "changed since?". A rip that ended early (a
// stop, a bound) keeps neither: its pages may lack their rewriting, and the next run rips them
// afresh. A page only the rules edit is checked with its range request as before.
void SitePageProcessor::Conclude(RipRun& run, const std::string& url) {
    // The pages as they end, before anything records their times.
    run.ripper.WriteHeldPages();
    if (!run.finished || Stopping(run.job) || RewriteOf(run.job, url) != Rewrite::Always) return;
    const HtmlRipper& ripper = run.ripper;
    std::vector<LinkRecord> records;
    records.reserve(ripper.Count());
    std::vector<std::size_t> rewritten;
    for (std::size_t i = 0; i < ripper.Count(); ++i) {
        records.push_back(ripper.Record(i));
        std::optional<KeptValidators>* kept = run.Fresh(i) ? &run.validators[i] : nullptr;
        if (kept && *kept && (*kept)->copy == KeptValidators::Copy::Pending &&
            ripper.Record(i).downloaded) {
            (*kept)->copy = KeptValidators::Copy::Rewritten;
            rewritten.push_back(i);
        }
    }
    // A page save cut short by a kill leaves its temporary beside the page until a rip of it
    // ends.
    std::vector<std::string> pages;
    for (const LinkRecord& record : records) {
        if (record.downloaded && (record.html || IsStyleSheet(record.localPath)))
            pages.push_back(record.localPath);
    }
    PageFile::RemoveLeftovers(pages);
    // The records first: a main page kept as the server's makes the next run replay the rip
    // from its records, and without them (the program killed in between, a full disk) that
    // run would check the main page alone, and the site's other files never again.
    if (!RipRecordFile(records.front().localPath).Save(Fingerprint(run.job, url), records)) return;
    // Each file's attribute is a write the file system journals: on a busy disk these waits
    // add up, and on several threads they overlap.
    const std::size_t threads =
        std::min(rewritten.size(), static_cast<std::size_t>(FinishingThreads(run.job)));
    RunShares(threads, [&](std::size_t share) {
        for (std::size_t j = share; j < rewritten.size(); j += threads)
            KeepValidators(ripper.Record(rewritten[j]).localPath, *run.validators[rewritten[j]]);
    });
}

bool SitePageProcessor::TooLargeToRip(DownloadJob& job, const std::string& localPath,
                                      std::optional<std::int64_t> fileSize) const {
    const auto size = static_cast<std::uint64_t>(fileSize.value_or(0));
    if (size <= m_limits.maxPageBytes) return false;
    job.PostEvent(kEventMessage, 0, 0,
                  GetString(EventCode::RipPageTooLarge) + " " + localPath + " (" +
                      std::to_string(size) + " > " + std::to_string(m_limits.maxPageBytes) + ")");
    return true;
}

void SitePageProcessor::ProcessFetched(DownloadJob& job, HtmlRipper& ripper, std::size_t i,
                                       const std::string& localPath, const FetchedFile& file,
                                       bool html, std::optional<PageFile> page,
                                       PageTags tags) const {
    const bool sheet = IsStyleSheet(localPath);
    if (!html && !sheet) return;  // a picture, a script: nothing to rewrite
    const int detail = job.Settings().LogDetail;
    const LinkRecord record = ripper.Record(i);
    // Relative references are relative to where the server finally delivered the resource.
    const std::string& url = record.finalUrl.empty() ? record.url : record.finalUrl;
    const std::optional<std::time_t> served = file.served;
    const bool tooLarge = TooLargeToRip(job, localPath, file.size);
    if (sheet) {
        if (served) StampRewritten(localPath, *served);
        if (tooLarge) return;
        ripper.ParseCssFile(localPath, url);
        job.linkCount = static_cast<int>(ripper.Count());
        return;
    }
    // A page too large to rip is neither parsed nor given cross references.
    if (!tooLarge) ripper.SetHtml(i);
    ApplyPageRules(job, record.url, localPath, true);
    if (served) StampRewritten(localPath, *served);
    if (tooLarge) return;
    if (page) {
        if (served) page->SetTimes(*served + kRewrittenShift, *served + kRewrittenShift);
        ripper.HoldPage(localPath, std::move(*page), std::move(tags));
    }
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
int SitePageProcessor::FetchLinked(const DownloadJob& job, TransferJob& transfer,
                                   const HtmlRipper& ripper, RipFetch& fetch,
                                   bool conditional) const {
    const std::string& url = fetch.record.url;
    ResourceInfo& info = fetch.info;
    info.status = -1;
    UrlParts parts;
    if (!SplitUrl(url, parts, false)) return kResultUnsupported;
    const bool https = parts.scheme == "https" && job.Settings().EnableHttps != 0;
    if (parts.scheme != "http" && !https) return kResultUnsupported;
    const bool destIsFile = transfer.destIsFile;
    const std::string urlFileName = transfer.urlFileName;
    auto rewriteOf = std::move(transfer.rewriteOf);
    transfer.destIsFile = true;
    transfer.conditional = conditional;
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
    if (fetch.record.depth > 0) {
        transfer.redirectAllowed = [&ripper](const std::string& target) {
            return ripper.PassesHostTest(target);
        };
    }
    std::string finalUrl;
    const int result = FetchHttp(url, fetch.path, fetch.textOnly ? 1 : 0, 0, std::string(), &info,
                                 transfer, &finalUrl);
    info.finalUrl = finalUrl;
    transfer.destIsFile = destIsFile;
    transfer.conditional = true;
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
