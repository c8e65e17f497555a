#include "engine/failure_cause.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace kov {
namespace {

TEST(FailureCauseTest, ServerTextsBecomeOneShortPrintableLine) {
    const std::string longUtf8 = std::string(kMaxCauseLength - 1, 'x') + "\xc3\xa9tage";
    const std::pair<std::string, std::string> cases[] = {
        {"404 Not Found", "404 Not Found"},
        {"550 No such file\r\n550 End\x1b[2J ", "550 No such file 550 End [2J"},
        {"\t\n", ""},
        // Cut before a character, never inside one.
        {longUtf8, std::string(kMaxCauseLength - 1, 'x') + "..."},
    };
    for (const auto& [raw, cause] : cases)
        EXPECT_EQ(ShortCause(raw), cause);
    EXPECT_EQ(SystemErrorText(EACCES), "Permission denied");
    EXPECT_EQ(SystemErrorText(0), "");
}

}  // namespace
}  // namespace kov
