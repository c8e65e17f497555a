#include <gtest/gtest.h>

#include "support/missing_server.h"

// Stands for any test whose server is not installed: run by ctest once plainly (it must skip)
// and once with KOV_REQUIRE_SERVERS=1 (it must fail).
TEST(MissingServer, SkipsOrFailsAsTheEnvironmentSays) {
    KOV_SKIP_WITHOUT_SERVER() << "the server this test stands for is never installed";
}
