#include "engine/parallel_cross_refs.h"

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>

#include "content/html/html_ripper.h"
#include "engine/run_shares.h"

namespace kov {

namespace {

struct Share {
    std::unique_ptr<HtmlRipper> worker;
    std::vector<std::size_t> pages;
};

void RunShare(Share& share, const std::atomic<int>& stop) {
    for (const std::size_t page : share.pages) {
        if (stop.load() != 0) break;
        share.worker->AdjustCrossRefs(page);
    }
    // What it still holds is written now, on this thread.
    share.worker.reset();
}

}  // namespace

void AdjustCrossRefsInParallel(HtmlRipper& ripper, const std::vector<std::size_t>& pages,
                               int threads, const std::atomic<int>& stop) {
    if (pages.empty()) return;
    const std::size_t count =
        std::min(pages.size(), static_cast<std::size_t>(threads > 1 ? threads : 1));
    if (count == 1) {
        for (const std::size_t page : pages) {
            if (stop.load() != 0) break;
            ripper.AdjustCrossRefs(page);
        }
        return;
    }
    std::vector<Share> shares(count);
    for (Share& share : shares)
        share.worker = ripper.CrossRefWorker();
    // Two records of one file (should there be any) go to one thread, in their order.
    std::unordered_map<std::string, std::size_t> shareOf;
    for (std::size_t j = 0; j < pages.size(); ++j) {
        const std::string& path = ripper.Record(pages[j]).localPath;
        Share& share = shares[shareOf.emplace(path, j % count).first->second];
        ripper.HandOver(path, *share.worker);
        share.pages.push_back(pages[j]);
    }
    RunShares(count, [&](std::size_t share) { RunShare(shares[share], stop); });
}

}  // namespace kov
