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

// The parsed line as "settings|auto|down|banner|site|list|ignored,...".
std::string Parsed(const std::vector<std::string>& args, bool ctrlHeld = false) {
    const CommandLine cl = ParseCommandLine(args, ctrlHeld);
    std::string text = cl.settingsFile + "|" + (cl.autoMode ? "a" : "") + "|" +
                       (cl.shutdownAfter ? "d" : "") + "|" + cl.bannerFile + "|" + cl.siteRuleFile +
                       "|" + std::to_string(cl.listNumber) + "|";
    for (const std::string& arg : cl.ignored)
        text += arg + ",";
    return text;
}

TEST(CommandLine, OptionsPathsAndIgnoredArguments) {
    const std::pair<std::vector<std::string>, const char*> cases[] = {
        {{"my.ini", "-AUTO", "/down", "-b\"/tmp/my banners.ini\"", "-s/tmp/site.ini", "-n3"},
         "my.ini|a|d|/tmp/my banners.ini|/tmp/site.ini|3|"},
        {{"-d"}, "|||||0|"},  // down without auto has no effect
        {{"/home/me/kov.ini", "/a"}, "/home/me/kov.ini|a||||0|"},
        {{"/bin/kov.ini"}, "/bin/kov.ini|||||0|"},  // a path, not the b option
        {{"/n2"}, "|||||2|"},
        {{"-b\"/a b/c"}, "|||/a b/c||0|"},  // no closing quote: the rest
        // Ignored, but listed, so that a front end can tell the user about a typo.
        {{"-x", "-n0", "-nabc", "-n-4", "-", "/", ""}, "/|||||0|-x,-n0,-nabc,-n-4,-,"},
        {{"-a", "-a", "-a", "-a", "-a", "-a", "-atuo", "-a", "late.ini"},
         "|a||||0|-atuo,-a,late.ini,"},
    };
    for (const auto& [args, parsed] : cases)
        EXPECT_EQ(Parsed(args), parsed) << args.front();
    EXPECT_EQ(Parsed({"x.ini", "-a", "-n2"}, true), "|||||0|");  // Ctrl held
}

}  // namespace
}  // namespace kov
