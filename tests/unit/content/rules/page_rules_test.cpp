#include "content/rules/page_rules.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "core/language/message_table.h"
#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

TEST(PageRules, BannedWordsOfThreeLettersOrMoreBanURLsIgnoringCase) {
    BannerRules banner;
    banner.bannedWords = "ad banner  doubleclick";
    const std::vector<std::pair<std::string, bool>> cases = {
        {"http://x.com/BANNER/1.gif", true},
        {"http://ad.x.com/", false},
        {"http://x.com/doubleclick", true},
        {"ba", false},
    };
    for (const auto& [url, banned] : cases)
        EXPECT_EQ(banner.IsBannedUrl(url), banned) << url;
    banner.bannedWords = "ad";
    EXPECT_FALSE(banner.IsBannedUrl("http://ad.com/ad"));
}

TEST(PageRules, TheFirstEnabledSiteWhosePrefixMatchesWins) {
    std::vector<SiteRule> sites = {{"", 1, "One", "HTTP://News.example/", {}},
                                   {"", 1, "Two", "http://news.example/a", {}},
                                   {"", 1, "Empty", "", {}}};
    EXPECT_EQ(FindSiteRule(sites, "http://news.example/a/b.html"), 0);
    EXPECT_EQ(FindSiteRule(sites, "http://other.example/"), -1);
    sites[0].enabled = 0;
    EXPECT_EQ(FindSiteRule(sites, "http://news.example/a/b.html"), 1);
}

TEST(PageRules, FilesLoadUpToTheFirstGapAndSaveWithoutStaleEntries) {
    test::TempDir dir;
    const std::string banners = dir.File("banners.ini");
    const std::string sites = dir.File("SiteRipper.ini");
    ASSERT_TRUE(WriteFileAtomic(banners,
                                "; mine\n[BanneRipping]\n"
                                "ID1=a\ns_find1=<ad>\ns_repl1=x\ns_action1=7\ns_mult1=1\n"
                                "s_find2=two\ns_find4=after the gap\n"
                                "BannedWords=banner adserver\n"));
    ASSERT_TRUE(WriteFileAtomic(sites,
                                "[Site 1]\nName=News\nUrl=http://n/\nEnabled=0\n"
                                "s_find1=f\ns_find2=g\n"
                                "[Site 2]\nName=Blog\nUrl=http://b/\n"
                                "[Site 4]\nName=Gap\n"));
    PageRules rules;
    std::string error;
    ASSERT_TRUE(LoadPageRules(banners, sites, rules, error)) << error;
    ASSERT_EQ(rules.banner.rules.size(), 2u);
    EXPECT_EQ(rules.banner.rules[0].id, "a");
    EXPECT_EQ(rules.banner.rules[0].action, 0);  // out of range
    EXPECT_EQ(rules.banner.rules[0].multiple, 1);
    EXPECT_EQ(rules.banner.bannedWords, "banner adserver");
    ASSERT_EQ(rules.sites.size(), 2u);
    EXPECT_EQ(rules.sites[0].enabled, 0);
    EXPECT_EQ(rules.sites[0].rules.size(), 2u);
    EXPECT_EQ(rules.sites[1].enabled, 1);

    // Deleted rules and sites do not come back from the old file; its comment stays.
    rules.banner.rules.pop_back();
    rules.sites[0].rules.pop_back();
    rules.sites.pop_back();
    ASSERT_TRUE(SaveBannerFile(banners, rules.banner, error)) << error;
    ASSERT_TRUE(SaveSiteFile(sites, rules, error)) << error;
    EXPECT_EQ(dir.Read("banners.ini").rfind("; mine\n", 0), 0u);
    PageRules again;
    ASSERT_TRUE(LoadPageRules(banners, sites, again, error)) << error;
    EXPECT_EQ(again.banner.rules.size(), 1u);
    EXPECT_EQ(again.banner.bannedWords, "banner adserver");
    ASSERT_EQ(again.sites.size(), 1u);
    EXPECT_EQ(again.sites[0].rules.size(), 1u);
    EXPECT_EQ(again.sites[0].url, "http://n/");

    // A file that cannot be read is an error, and its rules are not kept.
    EXPECT_FALSE(LoadPageRules(dir.path(), sites, again, error));
    EXPECT_TRUE(again.banner.rules.empty() && !error.empty());

    // So is one too large to be parsed, which is not even read.
    ASSERT_EQ(::truncate(sites.c_str(), kMaxRulesFileBytes + 1), 0);
    EXPECT_FALSE(LoadPageRules(banners, sites, again, error));
    EXPECT_TRUE(again.sites.empty());
    EXPECT_EQ(error.rfind(GetString(EventCode::RulesFileTooLarge), 0), 0u) << error;
}

// Words past the capacity are cut off, and the load says so for the session to tell the user.
TEST(PageRules, BannedWordsBeyondTheCapacityAreNoticed) {
    test::TempDir dir;
    for (std::size_t extra : {0u, 1u, 500u}) {
        const std::string words = std::string(BannerRules::kBannedWordsCapacity + extra, 'w');
        ASSERT_TRUE(WriteFileAtomic(dir.File("b.ini"), "[BanneRipping]\nBannedWords=" + words));
        PageRules rules;
        std::string error;
        ASSERT_TRUE(LoadPageRules(dir.File("b.ini"), dir.File("none.ini"), rules, error));
        EXPECT_EQ(rules.banner.bannedWords.size(), BannerRules::kBannedWordsCapacity);
        EXPECT_EQ(rules.banner.wordsCut, extra > 0) << extra;
    }
}

}  // namespace
}  // namespace kov
