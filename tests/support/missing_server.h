#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include "support/missing_server.h"

namespace kov::test {

// CI sets KOV_REQUIRE_SERVERS=1: there a missing server or tool is a failure, so that a machine
// without one cannot go green by skipping.
inline bool ServersRequired() {
    const char* value = std::getenv("KOV_REQUIRE_SERVERS");
    return value && std::strcmp(value, "1") == 0;
}

inline testing::TestPartResult::Type MissingServerOutcome() {
    return ServersRequired() ? testing::TestPartResult::kFatalFailure
                             : testing::TestPartResult::kSkip;
}

}  // namespace kov::test

// Used like KOV_SKIP_WITHOUT_SERVER(): `if (!server) KOV_SKIP_WITHOUT_SERVER() << "nginx is not
// installed";` Skips the test, or fails it under KOV_REQUIRE_SERVERS=1.
#define KOV_SKIP_WITHOUT_SERVER()                                                                \
    return ::testing::internal::AssertHelper(                                                    \
               ::kov::test::MissingServerOutcome(), __FILE__, __LINE__,                          \
               ::kov::test::ServersRequired() ? "missing server (KOV_REQUIRE_SERVERS=1)" : "") = \
               ::testing::Message()
