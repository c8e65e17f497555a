#include "engine/page_rules_step.h"

#include "content/page_rules.h"
#include "content/safe_copy.h"
#include "content/text_replacer.h"
#include "core/event_codes.h"
#include "engine/download_job.h"

namespace kov {

namespace {

// The rule-set numbers the events carry.
enum RuleSet : int { kItemSet = 0, kBannerSet = 1, kSiteSet = 2 };

}  // namespace

void ApplyPageRules(DownloadJob& job, const std::string& url, const std::string& localPath,
                    bool fetchedWhileRipping) {
    const UrlItem& item = job.Item();
    const PageRules* rules = job.Environment().rules.get();
    const SiteRule* site = rules ? rules->FindSite(url) : nullptr;
    const bool siteRules = site && !site->rules.empty();
    const bool bannerRules = rules && item.RipBanners && !rules->banner.rules.empty();
    const bool itemRules = item.EnableReplace && !item.rules.empty();
    if (!siteRules && !bannerRules && !itemRules) return;

    TextReplacer replacer;
    const FileStamp stamp = StampOf(localPath);
    if (!replacer.Load(localPath)) return;
    // Pages the ripper fetched are many, so their events are debug details.
    const int detail = job.Settings().LogDetail;
    const bool announce = fetchedWhileRipping ? detail > 1 : detail > 0;
    auto apply = [&](const std::vector<ReplaceRule>& set, int setNumber) {
        const std::uint64_t before = replacer.Count();
        const std::uint64_t done = replacer.Apply(set) - before;
        if (done > 0 && announce) {
            job.PostEvent(kEventReplaceDone, static_cast<std::int64_t>(done), setNumber, localPath);
        }
    };
    if (siteRules) apply(site->rules, kSiteSet);
    if (bannerRules) apply(rules->banner.rules, kBannerSet);
    if (itemRules) apply(item.rules, kItemSet);
    if (replacer.Count() == 0) return;

    // The page keeps its server time, which the next update compares against.
    std::string error;
    if (!WriteStamped(localPath, replacer.Text(), stamp, true, error)) {
        job.PostEvent(kEventMessage, kReplaceCannotWrite, 0, error);
    }
}

}  // namespace kov
