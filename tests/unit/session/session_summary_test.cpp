#include "session/session_summary.h"

#include <gtest/gtest.h>

#include <vector>

namespace kov {
namespace {

using std::chrono::milliseconds;

TEST(SessionSummaryTest, AverageIsOverTheRealTimeAndTheLineSwitchesUnitsAbove2048) {
    struct Case {
        double bytes;
        milliseconds elapsed;
        std::string speed;  // the line's end
    };
    const std::vector<Case> cases = {
        {600006, milliseconds(380), "1541 KB/sec"},  // not the byte total of a short session
        {600006, milliseconds(2500), "234 KB/sec"}, {2048, milliseconds(1000), "2048 Bytes/sec"},
        {2049, milliseconds(1000), "2 KB/sec"},     {0, milliseconds(0), "0 Bytes/sec"},
        {1000, milliseconds(0), "976 KB/sec"},      // no measurable time: a millisecond
        {1e15, milliseconds(1), "4194303 KB/sec"},  // held to what the figure can show
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.speed);
        const std::string line = SessionSummaryLine(c.bytes, AverageSpeed(c.bytes, c.elapsed));
        EXPECT_EQ(line.substr(line.rfind(": ") + 2), c.speed);
        EXPECT_EQ(line.substr(0, 35), "Session finished, bytes downloaded:");
    }
}

}  // namespace
}  // namespace kov
