#include "platform/heap_tuning.h"

#include <malloc.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>

namespace kov {

namespace {

constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
// The heap grows by at least this much at a time, so that the advised range covers what a
// large mirror holds; only the pages touched are taken from the system.
constexpr int kHeapStep = 128 << 20;

}  // namespace

void TuneHeapForShortRun() {
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
    // 32 MiB is the most the C library accepts; a fixed value also stops it from moving the
    // threshold and trimming by itself.
    mallopt(M_MMAP_THRESHOLD, 32 << 20);
    mallopt(M_TRIM_THRESHOLD, 512 << 20);
    // Other threads' arenas would be mappings of their own, outside the advised range.
    mallopt(M_ARENA_MAX, 1);
    mallopt(M_TOP_PAD, kHeapStep);
    // An allocation the heap cannot hold yet makes it grow by the step; the range from there to
    // the heap's end is then advised, provided the allocation reaches into what the heap grew
    // by (it may begin in free space below the old end; the C library falls back to mappings
    // when the heap cannot grow).
    constexpr std::size_t kProbe = std::size_t{1} << 20;
    const auto before = reinterpret_cast<std::uintptr_t>(sbrk(0));
    void* probe = std::malloc(kProbe);
    const auto end = reinterpret_cast<std::uintptr_t>(sbrk(0));
    const auto at = reinterpret_cast<std::uintptr_t>(probe);
    if (probe != nullptr && end > before && at < end && at + kProbe > before) {
        const std::uintptr_t start = (at + kHugePage - 1) & ~(kHugePage - 1);
        if (start < end) madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
    }
    std::free(probe);
#endif
}

}  // namespace kov
