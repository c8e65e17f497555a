#include <gtest/gtest.h>

#include <cstdio>

#include "engine/site_page_processor.h"
#include "job_test_fixture.h"

namespace kov {
namespace {

// An advert the rules cut, and a tail of '>' so that the last byte of the edited page is also
// the server's byte at that place: a resume would pass its overlap check.
const std::string kNews = "<html><p>ad</p>story</html><!--" + std::string(60, '>') + "-->";
const std::string kNewsEdited = "<html>story</html><!--" + std::string(60, '>') + "-->";

// Pages whose links lead into other folders, so that a page left as the server sent it
// differs from one that was converted.
void FillSite(test::NginxServer& n) {
    n.WriteFile("news.html", kNews);
    n.WriteFile("site/index.html",
                "<html><p>ad</p><a href=\"/site/sub/a.html\">a</a><img src=\"img/p.gif\"></html>");
    n.WriteFile("site/sub/a.html",
                "<html><a href=\"/site/index.html\">home</a><a href=\"../deep/b.html\">b</a>"
                "<img src=\"/site/img/p.gif\"></html>");
    n.WriteFile("site/deep/b.html", "<html><a href=\"/site/sub/a.html\">a</a></html>");
    n.WriteFile("site/img/p.gif", "picture");
}

// Pages the job edits after the download (rules, ripping) over several runs and after runs that
// ended between the download and the end of the editing.
class RewrittenPageTest : public test::NginxJobTest<FillSite> {
protected:
    // UpdateMode 0 (resume and update) with a rule that cuts the advert.
    UrlItem RulesItem(const std::string& path) const {
        UrlItem item = Item(nginx->Url(path));
        item.UpdateMode = 0;
        item.EnableReplace = 1;
        item.rules = {ReplaceRule{"", "<p>ad</p>", "", 0, 0, 1}};
        return item;
    }
    UrlItem SiteItem() const {
        UrlItem item = RulesItem("/site/index.html");
        item.WithLinks = 1;
        item.WithPics = 1;
        item.NestedDepth = 3;
        return item;
    }
    // A run of the item; `edited`: with the page processing, else as if the run had ended
    // right after the download.
    void Session(const UrlItem& item, bool edited = true) {
        env->pages = edited ? &SitePageProcessor::Shared() : nullptr;
        Run(item);
    }
    int ResultFor(const std::string& name) const {
        int result = -1;
        for (const JobEvent& e : events.events)
            if (e.code == kEventFileResult && e.text2 == Local(name)) result = e.param1;
        return result;
    }
    // "status request" of the last request nginx answered.
    static std::string LastRequest() {
        std::string log = nginx->AccessLog();
        while (!log.empty() && log.back() == '\n')
            log.pop_back();
        const std::string line = log.substr(log.rfind('\n') + 1);
        return line.substr(line.find(' ') + 1);
    }
    static std::time_t ServerTime(const std::string& path) {
        return LastWriteTime(nginx->DocRoot() + "/" + path).value_or(0);
    }
    std::string Saved(const std::string& name) const { return Slurp(Local(name)); }
    // A converted page names no page of the server.
    void ExpectConverted(const std::string& name) const {
        EXPECT_TRUE(FileExists(Local(name))) << name;
        const std::string page = Saved(name);
        EXPECT_EQ(page.find("/site/"), std::string::npos) << name << ": " << page;
        EXPECT_EQ(page.find("<p>ad</p>"), std::string::npos) << name << ": " << page;
    }
};

TEST_F(RewrittenPageTest, AnEditedPageIsUpToDateAndNeverTakenForAPartialDownload) {
    // An odd server time, which the request names, so that an unchanged page sends no body.
    const std::time_t served = 1600000001;
    ASSERT_TRUE(SetFileTimes(nginx->DocRoot() + "/news.html", served, served));
    Session(RulesItem("/news.html"));
    EXPECT_EQ(Saved("dl/news.html"), kNewsEdited);
    EXPECT_EQ(LastWriteTime(Local("dl/news.html")), served + kRewrittenShift);
    for (int session = 2; session <= 3; ++session) {
        Session(RulesItem("/news.html"));
        EXPECT_EQ(Saved("dl/news.html"), kNewsEdited) << session;
        EXPECT_EQ(ResultFor("dl/news.html"), kResultSkipped) << session;
        EXPECT_EQ(LastRequest(), "206 GET /news.html HTTP/1.1");
        EXPECT_EQ(LastWriteTime(Local("dl/news.html")), served + kRewrittenShift);
    }

    // A run that ended before the rules ran leaves the server's page with its time: not up to
    // date, whatever its size says.
    ASSERT_EQ(std::remove(Local("dl/news.html").c_str()), 0);
    Session(RulesItem("/news.html"), false);
    ASSERT_EQ(Saved("dl/news.html"), kNews);
    Session(RulesItem("/news.html"));
    EXPECT_EQ(ResultFor("dl/news.html"), kResultOk);
    EXPECT_EQ(Saved("dl/news.html"), kNewsEdited);

    // A changed page is fetched and edited again.
    const std::string changed = "<html><p>ad</p>new story</html>";
    ASSERT_TRUE(nginx->WriteFile("news.html", changed));
    ASSERT_TRUE(SetFileTimes(nginx->DocRoot() + "/news.html", served + 100, served + 100));
    Session(RulesItem("/news.html"));
    EXPECT_EQ(Saved("dl/news.html"), "<html>new story</html>");
    EXPECT_EQ(LastWriteTime(Local("dl/news.html")), served + 100 + kRewrittenShift);
    ASSERT_TRUE(nginx->WriteFile("news.html", kNews));
    ASSERT_TRUE(SetFileTimes(nginx->DocRoot() + "/news.html", served, served));
}

TEST_F(RewrittenPageTest, APageTheRulesMadeLongerIsUpToDateToo) {
    // An even server time: the copy is asked for from its last byte on, past the server's end.
    ASSERT_TRUE(nginx->WriteFile("long.html", kNews));
    ASSERT_TRUE(SetFileTimes(nginx->DocRoot() + "/long.html", 1600000000, 1600000000));
    UrlItem item = RulesItem("/long.html");
    item.rules[0].replace = std::string(200, '-');
    Session(item);
    const std::string edited = Saved("dl/long.html");
    ASSERT_GT(edited.size(), kNews.size());
    Session(item);
    EXPECT_EQ(ResultFor("dl/long.html"), kResultSkipped);
    EXPECT_EQ(Saved("dl/long.html"), edited);
}

TEST_F(RewrittenPageTest, ARipEndedBeforeItsPagesWereConvertedConvertsThemNextTime) {
    // The first run ended right after the main page arrived.
    Session(SiteItem(), false);
    ASSERT_FALSE(FileExists(Local("dl/a.html")));
    Session(SiteItem());
    for (const char* name : {"dl/index.html", "dl/a.html", "dl/b.html"})
        ExpectConverted(name);
    EXPECT_TRUE(FileExists(Local("dl/p.gif")));
    // Written several times, and shifted from the server's time once.
    EXPECT_EQ(LastWriteTime(Local("dl/index.html")),
              ServerTime("site/index.html") + kRewrittenShift);

    // A run that ended after a linked page arrived but before it was converted: the page is
    // as the server sent it, with the server's time.
    ASSERT_TRUE(
        WriteFileAtomic(Local("dl/a.html"), *ReadFile(nginx->DocRoot() + "/site/sub/a.html")));
    ASSERT_TRUE(SetFileTimes(Local("dl/a.html"), ServerTime("site/sub/a.html"),
                             ServerTime("site/sub/a.html")));
    Session(SiteItem());
    for (const char* name : {"dl/index.html", "dl/a.html", "dl/b.html"})
        ExpectConverted(name);
    EXPECT_EQ(ResultFor("dl/p.gif"), kResultSkipped);  // the rest stays up to date
}

}  // namespace
}  // namespace kov
