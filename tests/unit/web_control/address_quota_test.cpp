#include "web_control/address_quota.h"

#include <gtest/gtest.h>

namespace kov {
namespace {

struct Step {
    char action;  // 'o' opened, 'c' closed, '?' asks
    const char* address;
    bool admitted;  // for '?'
};

TEST(AddressQuotaTest, CountsEachAddressOnItsOwn) {
    const Step steps[] = {
        {'?', "a", true},  {'o', "a", false}, {'?', "a", true},  {'o', "a", false},
        {'?', "a", false}, {'?', "b", true},  {'c', "a", false}, {'?', "a", true},
        {'c', "z", false},  // closing what was never opened changes nothing
        {'c', "a", false}, {'c', "a", false}, {'?', "a", true},
    };
    AddressQuota quota(2);
    for (const auto& step : steps) {
        if (step.action == 'o') quota.Opened(step.address);
        if (step.action == 'c') quota.Closed(step.address);
        if (step.action == '?') {
            EXPECT_EQ(quota.Admits(step.address), step.admitted);
        }
    }
}

}  // namespace
}  // namespace kov
