#include "platform/host_lookup.h"
#include "platform/helper_threads.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace kov {
namespace {

using namespace std::chrono_literals;

TEST(HostLookup, AnswersAreTakenAndADeadServerEndsByStopOrTimeLimit) {
    std::atomic<bool> release{false};
    // A resolver that answers at once, fails, or hangs until released.
    const HostResolver resolver = [&](const std::string& name, HostAddresses& out) {
        if (name == "hangs") {
            while (!release)
                std::this_thread::sleep_for(5ms);
        }
        if (name == "unknown") return false;
        out.push_back({192, 168, 1, 9});
        return true;
    };
    struct Case {
        const char* name;
        bool stopped;
        LookupStatus status;
    } cases[] = {
        {"lan-box", false, LookupStatus::Found},
        {"unknown", false, LookupStatus::NotFound},
        {"hangs", true, LookupStatus::Stopped},
        {"hangs", false, LookupStatus::TimedOut},
    };
    for (const Case& c : cases) {
        HostAddresses found;
        const std::chrono::milliseconds limit = c.stopped ? 60s : 50ms;
        const auto stopped = [&c] { return c.stopped; };
        EXPECT_EQ(LookUpHostBounded(c.name, found, limit, stopped, resolver), c.status) << c.name;
        EXPECT_EQ(found.size(), c.status == LookupStatus::Found ? 1u : 0u) << c.name;
    }
    // The lookups given up on still run; once they end they are joined.
    EXPECT_EQ(JoinHelperThreads(0ms), 2);
    release = true;
    EXPECT_EQ(JoinHelperThreads(20s), 0);
}

TEST(HostLookup, TheSystemResolverKnowsLocalhostAndNotAnInvalidName) {
    HostAddresses found;
    EXPECT_EQ(LookUpHostBounded("localhost", found, 20s, {}), LookupStatus::Found);
    EXPECT_FALSE(found.empty());
    EXPECT_EQ(LookUpHostBounded("no-such-host.invalid", found, 20s, {}), LookupStatus::NotFound);
}

}  // namespace
}  // namespace kov
