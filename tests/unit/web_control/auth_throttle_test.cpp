#include "web_control/auth_throttle.h"

#include <gtest/gtest.h>

namespace kov {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

struct Step {
    const char* address;
    seconds at;          // since the start
    bool success;        // the right token instead of a wrong one
    milliseconds delay;  // for a failure: how long its answer waits
};

TEST(AuthThrottleTest, EachWrongTokenWaitsTwiceAsLongUpToTheCap) {
    const Step steps[] = {
        {"10.0.0.1", seconds(0), false, milliseconds(100)},
        {"10.0.0.1", seconds(1), false, milliseconds(200)},
        {"10.0.0.1", seconds(2), false, milliseconds(400)},
        {"10.0.0.2", seconds(2), false, milliseconds(100)},  // another address is not slowed
        {"10.0.0.1", seconds(3), false, milliseconds(800)},
        {"10.0.0.1", seconds(4), false, milliseconds(1000)},  // the cap
        {"10.0.0.1", seconds(5), false, milliseconds(1000)},
        {"10.0.0.1", seconds(6), true, milliseconds(0)},  // the right token forgives
        {"10.0.0.1", seconds(7), false, milliseconds(100)},
        {"10.0.0.2", seconds(30), false, milliseconds(200)},
        {"10.0.0.2", seconds(91), false, milliseconds(100)},  // quiet for over a minute
    };
    AuthThrottle throttle(milliseconds(100), milliseconds(1000));
    const auto start = AuthThrottle::Clock::time_point{} + std::chrono::hours(1);
    for (const auto& step : steps) {
        SCOPED_TRACE(std::string(step.address) + " at " + std::to_string(step.at.count()));
        if (step.success) {
            throttle.Success(step.address);
        } else {
            EXPECT_EQ(throttle.Failure(step.address, start + step.at), step.delay);
        }
    }
}

TEST(AuthThrottleTest, AFloodOfAddressesCannotGrowItOrEscapeTheDelay) {
    AuthThrottle throttle(milliseconds(10), milliseconds(500));
    const auto now = AuthThrottle::Clock::time_point{} + std::chrono::hours(1);
    for (std::size_t i = 0; i < AuthThrottle::kAddressLimit; ++i) {
        EXPECT_EQ(throttle.Failure("a" + std::to_string(i), now), milliseconds(10));
    }
    EXPECT_EQ(throttle.Failure("newcomer", now), milliseconds(500));
    // Known addresses keep counting; once the old ones are forgotten there is room again.
    EXPECT_EQ(throttle.Failure("a1", now), milliseconds(20));
    EXPECT_EQ(throttle.Failure("newcomer", now + seconds(61)), milliseconds(10));
}

}  // namespace
}  // namespace kov
