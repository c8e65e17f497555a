#include "platform/helper_threads.h"

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

namespace kov {

namespace {

constexpr auto kJoinCheck = std::chrono::milliseconds(20);

struct Helper {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> ended;
};

// Never destroyed: a thread still running when the program ends must not meet a destroyed
// list, and its std::thread object must not be destroyed while joinable.
struct Helpers {
    std::mutex lock;
    std::list<Helper> all;
};

Helpers& AllHelpers() {
    static Helpers* helpers = new Helpers;
    return *helpers;
}

// The caller holds the list's lock.
void JoinEnded(std::list<Helper>& helpers) {
    for (auto it = helpers.begin(); it != helpers.end();) {
        if (it->ended->load()) {
            it->thread.join();
            it = helpers.erase(it);
        } else {
            ++it;
        }
    }
}

}  // namespace

bool StartHelperThread(std::function<void()> work) {
    Helpers& helpers = AllHelpers();
    auto ended = std::make_shared<std::atomic<bool>>(false);
    std::lock_guard guard(helpers.lock);
    JoinEnded(helpers.all);
    try {
        helpers.all.push_back({std::thread([work = std::move(work), ended] {
                                   work();
                                   ended->store(true);
                               }),
                               ended});
    } catch (const std::system_error&) {
        return false;
    }
    return true;
}

int JoinHelperThreads(std::chrono::milliseconds limit) {
    Helpers& helpers = AllHelpers();
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::unique_lock guard(helpers.lock);
    for (;;) {
        JoinEnded(helpers.all);
        if (helpers.all.empty() || std::chrono::steady_clock::now() >= deadline) break;
        guard.unlock();
        std::this_thread::sleep_for(kJoinCheck);
        guard.lock();
    }
    return static_cast<int>(helpers.all.size());
}

}  // namespace kov
