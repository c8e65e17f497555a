#include "core/command_line.h"

#include <gtest/gtest.h>

namespace kov {
namespace {

TEST(CommandLine, SplitKeepsQuotedBlanks) {
    EXPECT_EQ(SplitCommandLine("  a  \"b c\" -b\"x y\\z.ini\" \"\" "),
              (std::vector<std::string>{"a", "b c", "-bx y\\z.ini", ""}));
    EXPECT_TRUE(SplitCommandLine("   ").empty());
    EXPECT_EQ(SplitCommandLine("\"unclosed arg"), (std::vector<std::string>{"unclosed arg"}));
}

TEST(CommandLine, OptionsAndSettingsPath) {
    const CommandLine cl = ParseCommandLine(
        {"my.ini", "-AUTO", "/down", "-b\"/tmp/my banners.ini\"", "-s/tmp/site.ini", "-n3"}, false);
    EXPECT_EQ(cl.settingsFile, "my.ini");
    EXPECT_TRUE(cl.autoMode);
    EXPECT_TRUE(cl.shutdownAfter);
    EXPECT_EQ(cl.bannerFile, "/tmp/my banners.ini");
    EXPECT_EQ(cl.siteRuleFile, "/tmp/site.ini");
    EXPECT_EQ(cl.listNumber, 3);
}

TEST(CommandLine, DownWithoutAutoHasNoEffect) {
    const CommandLine cl = ParseCommandLine({"-d"}, false);
    EXPECT_FALSE(cl.autoMode);
    EXPECT_FALSE(cl.shutdownAfter);
}

TEST(CommandLine, AbsolutePathsAreNotOptions) {
    CommandLine cl = ParseCommandLine({"/home/me/kov.ini", "/a"}, false);
    EXPECT_EQ(cl.settingsFile, "/home/me/kov.ini");
    EXPECT_TRUE(cl.autoMode);
    // "/bin..." and "/srv..." are paths, not the b and s options.
    cl = ParseCommandLine({"/bin/kov.ini"}, false);
    EXPECT_EQ(cl.settingsFile, "/bin/kov.ini");
    EXPECT_TRUE(cl.bannerFile.empty());
    cl = ParseCommandLine({"/n2"}, false);
    EXPECT_EQ(cl.listNumber, 2);
    EXPECT_TRUE(cl.settingsFile.empty());
}

// Ignored, but listed, so that a front end can tell the user about a typo.
TEST(CommandLine, BadOptionsAndArgumentsPastTheSeventhAreIgnoredAndListed) {
    CommandLine cl = ParseCommandLine({"-x", "-n0", "-nabc", "-n-4", "-", "/", ""}, false);
    EXPECT_EQ(cl.listNumber, 0);
    EXPECT_FALSE(cl.autoMode);
    EXPECT_EQ(cl.settingsFile, "/");
    EXPECT_EQ(cl.ignored, (std::vector<std::string>{"-x", "-n0", "-nabc", "-n-4", "-"}));
    cl = ParseCommandLine({"-a", "-a", "-a", "-a", "-a", "-a", "-atuo", "-a", "late.ini"}, false);
    EXPECT_EQ(cl.ignored, (std::vector<std::string>{"-atuo", "-a", "late.ini"}));
    EXPECT_TRUE(cl.settingsFile.empty());
}

TEST(CommandLine, CtrlHeldIgnoresEverything) {
    const CommandLine cl = ParseCommandLine({"x.ini", "-a", "-n2"}, true);
    EXPECT_TRUE(cl.settingsFile.empty());
    EXPECT_FALSE(cl.autoMode);
    EXPECT_EQ(cl.listNumber, 0);
}

TEST(CommandLine, QuotedBannerWithoutClosingQuoteTakesTheRest) {
    const CommandLine cl = ParseCommandLine({"-b\"/a b/c"}, false);
    EXPECT_EQ(cl.bannerFile, "/a b/c");
}

}  // namespace
}  // namespace kov
