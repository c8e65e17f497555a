#include "engine/page_rules_step.h"

#include "content/rules/page_rules.h"
#include "content/rules/safe_copy.h"
#include "content/rules/text_replacer.h"
#include "core/event_codes.h"
#include "engine/download_job.h"
#include "net/transfer/fetch_plan.h"
#include "platform/file_util.h"

namespace kov {

namespace {

// The rule-set numbers the events carry.
enum RuleSet : int { kItemSet = 0, kBannerSet = 1, kSiteSet = 2 };

struct RuleSets {
    const SiteRule* site = nullptr;
    const PageRules* shared = nullptr;  // for the banner rules
    const UrlItem* item = nullptr;
    bool Any() const { return site || shared || item; }
};

RuleSets SetsFor(const DownloadJob& job, const std::string& url) {
    RuleSets sets;
    const UrlItem& item = job.Item();
    const PageRules* rules = job.Environment().rules.get();
    const SiteRule* site = rules ? rules->FindSite(url) : nullptr;
    if (site && !site->rules.empty()) sets.site = site;
    if (rules && item.RipBanners && !rules->banner.rules.empty()) sets.shared = rules;
    if (item.EnableReplace && !item.rules.empty()) sets.item = &item;
    return sets;
}

}  // namespace

bool PageRulesApply(const DownloadJob& job, const std::string& url) {
    return SetsFor(job, url).Any();
}

void ApplyPageRules(DownloadJob& job, const std::string& url, const std::string& localPath,
                    bool fetchedWhileRipping) {
    const RuleSets sets = SetsFor(job, url);
    if (!sets.Any()) return;

    TextReplacer replacer;
    FileStamp stamp = StampOf(localPath);
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
    if (sets.site) apply(sets.site->rules, kSiteSet);
    if (sets.shared) apply(sets.shared->banner.rules, kBannerSet);
    if (sets.item) apply(sets.item->rules, kItemSet);
    if (replacer.Count() == 0) return;

    // Never the server's time: the next update would take the edited page for the start of the
    // server's file and append the server's rest to it.
    stamp.modified += kRewrittenShift;
    std::string error;
    if (!WriteStamped(localPath, replacer.Text(), stamp, true, error)) {
        job.PostEvent(kEventMessage, kReplaceCannotWrite, 0, error);
    }
}

void StampRewritten(const std::string& path, std::time_t servedAt) {
    SetFileTimes(path, servedAt + kRewrittenShift, servedAt + kRewrittenShift);
}

}  // namespace kov
