#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

#include "content/html/page_file.h"
#include "content/html/page_tags.h"
#include "engine/download_job.h"

namespace kov {

class HtmlRipper;
struct LinkRecord;
struct FetchedFile;
struct RipFetch;

// What a rip may take: pages beyond maxPageBytes are kept as delivered (a page is held in
// memory a few times over while it is rewritten); a resource beyond maxResourceBytes, or one
// that would leave less than minFreeBytes on the disk, is stopped and removed (the disk case
// ends the rip); a resource must arrive within resourceTime plus a second per 8 KiB.
struct RipLimits {
    std::uint64_t maxPageBytes = std::uint64_t{32} << 20;
    std::int64_t maxResourceBytes = std::int64_t{512} << 20;
    std::uint64_t minFreeBytes = std::uint64_t{64} << 20;
    std::chrono::milliseconds resourceTime{60000};
    // Rewritten pages held in memory until their last pass, so that each is written once.
    std::size_t heldPageBytes = std::size_t{64} << 20;
    // Records fetched at once (never more than the session's MaxThreads): a rip's records are
    // mostly of one host, which should not see more connections than a browser opens.
    int fetchersPerHost = 6;
    // Threads that rewrite the cross references at the end of a rip: 0 one per processor core,
    // never more than fetch records at once.
    int crossRefThreads = 0;
};

// The page processing of a job: the rules for the delivered page, then the rip of what it
// embeds and links to, fetched over kept-alive connections (several records at once
// when MaxThreads allows, through the job's transfer otherwise), each fetched page processed in
// the order of the records, and the cross references rewritten at the end. A finished rip keeps its
// records beside the main page; when the server reports the main page unchanged, the next run
// checks those records with conditional requests and rewrites only what changed. Holds only its
// limits: one object serves every job of a session.
class SitePageProcessor : public PageProcessor {
public:
    explicit SitePageProcessor(RipLimits limits = {}) : m_limits(limits) {}

    void ProcessPage(DownloadJob& job, const std::string& url, const std::string& localPath,
                     ResourceInfo& info) override;
    // A page that is ripped is rewritten on every delivery; one that only the rules edit is
    // rewritten once.
    Rewrite RewriteOf(const DownloadJob& job, const std::string& url) const override;

    // The processor sessions install.
    static SitePageProcessor& Shared();

private:
    struct RipRun;

    void Configure(DownloadJob& job, HtmlRipper& ripper) const;
    static std::string Fingerprint(const DownloadJob& job, const std::string& url);
    static void ParseMainPage(DownloadJob& job, HtmlRipper& ripper, const std::string& url,
                              const std::string& localPath);
    void ReplayRip(DownloadJob& job, const std::string& url, const std::string& localPath);
    void RipAnew(DownloadJob& job, const std::string& url, const std::string& localPath);
    void FetchRecords(RipRun& run, bool conditional) const;
    bool FetchInParallel(RipRun& run, bool conditional, int fetchers) const;
    // Record i as a fetch to be made; nullopt when it is not to be fetched.
    static std::optional<RipFetch> Wanted(const RipRun& run, std::size_t i);
    // Takes in what the fetch of a record brought; false when the rip ends there.
    bool TakeFetched(RipRun& run, RipFetch& fetch) const;
    // Reads a fetched HTML page and walks its tags on the fetcher's thread (fetch.page).
    void Preload(const DownloadJob& job, RipFetch& fetch) const;
    void AdjustCrossRefs(RipRun& run) const;
    // Records fetched at once.
    int Fetchers(const DownloadJob& job) const;
    // Threads for the work at the end of a rip (cross references, the files' attributes).
    int FinishingThreads(const DownloadJob& job) const;
    void Conclude(RipRun& run, const std::string& url);
    // file: the fetched file as it arrived; page: the page, when a fetcher read it, and its
    // tags.
    void ProcessFetched(DownloadJob& job, HtmlRipper& ripper, std::size_t i,
                        const std::string& localPath, const FetchedFile& file, bool html,
                        std::optional<PageFile> page = std::nullopt, PageTags tags = {}) const;
    int FetchLinked(const DownloadJob& job, TransferJob& transfer, const HtmlRipper& ripper,
                    RipFetch& fetch, bool conditional) const;
    // Says so in the log when the page is too large to be ripped.
    bool TooLargeToRip(DownloadJob& job, const std::string& localPath,
                       std::optional<std::int64_t> size) const;

    RipLimits m_limits;
};

}  // namespace kov
