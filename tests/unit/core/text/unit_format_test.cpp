#include "core/text/unit_format.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace kov {
namespace {

TEST(UnitFormat, SizesAndSpeedsCarryBinaryUnits) {
    const struct {
        double bytes;
        const char* size;
    } cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.00 KB"},
        {1536, "1.50 KB"},
        {10 * 1024 - 6, "9.99 KB"},
        {10 * 1024 - 1, "10.0 KB"},  // 9.999 rounds into the next width, not "10.00"
        {600000, "586 KB"},
        {1024 * 1024 - 1, "1.00 MB"},  // never "1024 KB"
        {1024.0 * 1024 * 1024 * 5.25, "5.25 GB"},
        {1024.0 * 1024 * 1024 * 1024 * 117, "117 TB"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(SizeWithUnit(static_cast<std::uint64_t>(c.bytes)), c.size) << c.bytes;
        EXPECT_EQ(SpeedWithUnit(c.bytes), std::string(c.size) + "/s") << c.bytes;
    }
    EXPECT_EQ(SizeWithUnit(std::numeric_limits<std::uint64_t>::max()), "16.0 EB");
    for (const double odd : {-5.0, std::nan(""), std::numeric_limits<double>::infinity()})
        EXPECT_EQ(SpeedWithUnit(odd), "0 B/s");
}

}  // namespace
}  // namespace kov
