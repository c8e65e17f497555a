#include "engine/run_shares.h"

#include <system_error>
#include <thread>
#include <vector>

namespace kov {

void RunShares(std::size_t shares, const std::function<void(std::size_t share)>& work) {
    if (shares == 0) return;
    std::vector<std::thread> started;
    std::size_t next = 1;
    try {
        for (; next < shares; ++next)
            started.emplace_back(work, next);
    } catch (const std::system_error&) {
        // No more threads: the rest runs here.
    }
    work(0);
    for (; next < shares; ++next)
        work(next);
    for (std::thread& thread : started)
        thread.join();
}

}  // namespace kov
