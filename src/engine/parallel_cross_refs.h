#pragma once

#include <atomic>
#include <cstddef>
#include <vector>

namespace kov {

class HtmlRipper;

// The cross references of the given fetched pages (record indexes, in list order) rewritten on
// up to `threads` threads, the caller's among them: once every name is known the pages are
// independent, and each comes out byte for byte as ripper.AdjustCrossRefs makes it. Pages are
// dealt out in turn; a set stop flag ends each thread before its next page (the pages it
// held are still written). Runs on the caller's thread alone when no thread can be had.
void AdjustCrossRefsInParallel(HtmlRipper& ripper, const std::vector<std::size_t>& pages,
                               int threads, const std::atomic<int>& stop);

}  // namespace kov
