#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "core/language/message_table.h"

#include "engine/site_page_processor.h"
#include "job_test_fixture.h"
#include "support/fault_server.h"
#include "support/missing_server.h"

namespace kov {
namespace {

// A site of three levels with what today's pages hold, and links that must not be followed.
void FillSite(test::NginxServer& n) {
    n.AddLocation("location ~ \\.php$ { types {} default_type text/html; }");
    // A link on the site that leads off it.
    n.AddLocation(
        "location = /site/away { return 302 http://localhost:$server_port/site/b.html; }");
    n.WriteFile("site/b.html", "<html>b</html>");
    n.WriteFile(
        "site/index.html",
        "<html><head><link rel=\"stylesheet\" href=\"css/main.css\">"
        "<script src=\"js/app.js\"></script><style>@import \"css/extra.css\";</style>"
        "<script>var s = '<img src=\"never.gif\">';</script></head><body>"
        "<iframe src=\"frame.html\"></iframe>"
        "<img src=\"img/a.png\" srcset=\"img/a2.png 2x\">"
        "<a href=\"sub/page2.html#part\">2</a> <a href=\"http://other.invalid/x.html\">o</a>"
        "<a href=\"list.php?x=1\">l</a> <a href=\"../../../outside.html\">h</a>"
        "<a href=\"img/big.png\">picture</a> <a href=\"docs\">redirected</a>"
        // A tail of '>': a rewritten copy taken for the start of this page would be resumed.
        "</body></html><!--" +
            std::string(100, '>') + "-->");
    n.WriteFile("site/frame.html", "<html><img src=\"img/a.png\"></html>");
    n.WriteFile("site/css/main.css",
                "@import url(more.css);\nbody{background:url(\"../img/bg.png\")}");
    n.WriteFile("site/css/more.css", "p{}");
    n.WriteFile("site/css/extra.css", "q{}");
    n.WriteFile("site/js/app.js", "var x;");
    for (const char* picture : {"site/img/a.png", "site/img/a2.png", "site/img/bg.png",
                                "site/img/b.gif", "site/img/big.png"}) {
        n.WriteFile(picture, "picture");
    }
    n.WriteFile("site/list.php", "<html>list</html>");
    n.WriteFile("outside.html", "<html>outside</html>");
    n.WriteFile("site/sub/page2.html",
                "<html><a name=part></a><img src=\"../img/b.gif\">"
                "<a href=\"../deep/page3.html\">3</a><a href=\"../index.html\">home</a></html>");
    n.WriteFile("site/deep/page3.html",
                "<html><a href=\"page4.html\">4</a><a href=\"../sub/page2.html\">2</a></html>");
    n.WriteFile("site/deep/page4.html", "<html>too deep</html>");
    // Reached through nginx's redirect to "docs/": its references are relative to that.
    n.WriteFile("site/docs/index.html", "<html><img src=\"shot.gif\"></html>");
    n.WriteFile("site/docs/shot.gif", "picture");
    // A number series of pages whose pictures have names that say nothing, or the same name.
    for (const std::string pass : {"1", "2"}) {
        n.WriteFile("series/p" + pass + ".html",
                    "<html><img src=\"pic,x.gif\"><img src=\"" + pass + "/logo.gif\"></html>");
        n.WriteFile("series/" + pass + "/logo.gif", "logo " + pass);
    }
    n.WriteFile("series/pic,x.gif", "generated");
}

class SiteRipTest : public test::NginxJobTest<FillSite> {
protected:
    static void SetUpTestSuite() {
        NginxJobTest::SetUpTestSuite();
        if (HasFatalFailure() || !nginx || !test::FaultServer::Available()) return;
        faults = std::make_unique<test::FaultServer>();
        if (!faults->Start()) faults.reset();
    }
    static void TearDownTestSuite() {
        NginxJobTest::TearDownTestSuite();
        faults.reset();
    }
    void SetUp() override {
        NginxJobTest::SetUp();
        env->pages = &SitePageProcessor::Shared();
        settings.LogDetail = 2;
    }
    UrlItem SiteItem() const {
        UrlItem item = Item(nginx->Url("/site/index.html"));
        item.WithLinks = 1;
        item.WithPics = 1;
        item.NestedDepth = 2;
        return item;
    }
    std::string Saved(const std::string& name) const { return Slurp(Local("dl/" + name)); }
    // The events of a code whose text (text1, or the cause) begins with a message's text.
    int Said(int code, EventCode message) const {
        int n = 0;
        for (const JobEvent& e : events.events) {
            const std::string& text = code == kEventFileResult ? e.cause : e.text1;
            n += e.code == code && text.starts_with(GetString(message)) ? 1 : 0;
        }
        return n;
    }
    int Fetched(std::string_view url) const {
        int n = 0;
        for (const JobEvent& e : events.events)
            n += e.code == kEventFileResult && e.text1.find(url) != std::string::npos ? 1 : 0;
        return n;
    }

    static inline std::unique_ptr<test::FaultServer> faults;
};

TEST_F(SiteRipTest, RipsTheSiteIntoOneFolderThatWorksFromDisk) {
    Run(SiteItem());
    for (const char* name : {"index.html", "main.css", "more.css", "extra.css", "app.js",
                             "frame.html", "a.png", "a2.png", "bg.png", "b.gif", "page2.html",
                             "page3.html", "list.htm", "outside.html", "big.png", "shot.gif"}) {
        EXPECT_TRUE(FileExists(Local("dl/" + std::string(name)))) << name;
    }
    for (const char* name : {"never.gif", "page4.html", "x.html"})
        EXPECT_FALSE(FileExists(Local("dl/" + std::string(name)))) << name;
    EXPECT_FALSE(FileExists(dir.path() + "/outside.html"));

    const std::string index = Saved("index.html");
    for (const char* reference :
         {"href=\"main.css\"", "src=\"app.js\"", "@import \"extra.css\"", "src=\"frame.html\"",
          "srcset=\"a2.png 2x\"", "href=\"page2.html#part\"",
          "href=\"http://other.invalid/x.html\"", "href=\"list.htm\"", "href=\"outside.html\"",
          "<img src=\"never.gif\">"}) {
        EXPECT_NE(index.find(reference), std::string::npos) << reference << " in " << index;
    }
    EXPECT_EQ(Saved("main.css"), "@import url(more.css);\nbody{background:url(bg.png)}");
    const std::string page2 = Saved("page2.html");
    for (const char* reference : {"src=\"b.gif\"", "href=\"page3.html\"", "href=\"index.html\""})
        EXPECT_NE(page2.find(reference), std::string::npos) << reference << " in " << page2;
    const std::string page3 = "<html><a href=\"" + nginx->Url("/site/deep/page4.html") +
                              "\">4</a><a href=\"page2.html\">2</a></html>";
    EXPECT_EQ(Saved("page3.html"), page3);

    for (int code : {kEventParseStarted, kEventParseFinished, kEventLinksStarted, kEventLinksFound,
                     kEventCrossRefs})
        EXPECT_GT(events.Count(code), 0) << code;
    EXPECT_EQ(events.Codes().back(), kEventJobFinished);

    // One connection carries the records one after the other.
    std::istringstream log(nginx->AccessLog());
    std::set<std::string> connections;
    int requests = 0;
    for (std::string line; std::getline(log, line); ++requests)
        connections.insert(line.substr(0, line.find(' ')));
    EXPECT_GE(requests, 14);
    EXPECT_LE(connections.size(), 2u);

    // The next session (resume and update) fetches the rewritten pages anew instead of
    // appending the server's rest to them.
    const std::string first = Saved("index.html");
    Run(SiteItem());
    EXPECT_EQ(Saved("index.html"), first);
    EXPECT_EQ(Saved("page3.html"), page3);
}

// Each pass of a series is ripped into the same folder without writing over the last one's.
TEST_F(SiteRipTest, PassesOfASeriesKeepEachOthersFiles) {
    UrlItem item = Item(nginx->Url("/series/p%u.html"));
    item.NumBased = 1;
    item.CurrentNum = 1;
    item.StopNumber = 2;
    item.WithPics = 1;
    Run(item);
    EXPECT_EQ(Saved("logo.gif"), "logo 1");
    EXPECT_EQ(Saved("logo_001.gif"), "logo 2");
    EXPECT_EQ(Saved("Internal-001.$$$"), "generated");
    EXPECT_EQ(Saved("Internal-002.$$$"), "generated");
    EXPECT_NE(Saved("p1.html").find("src=\"logo.gif\""), std::string::npos);
    EXPECT_NE(Saved("p2.html").find("src=\"logo_001.gif\""), std::string::npos);
    EXPECT_NE(Saved("p2.html").find("src=\"Internal-002.$$$\""), std::string::npos);
}

// The site is its host and port, also after redirects.
TEST_F(SiteRipTest, LinksLeadingOffTheSiteAreNotFetched) {
    nginx->WriteFile("site/hosts.html",
                     "<html><a href=\"away\">1</a><a href=\"" + nginx->Url("/site/frame.html") +
                         "\">2</a><a href=\"http://127.0.0.1:1/site/b.html\">3</a>"
                         "<a href=\"http://localhost:1/site/b.html\">4</a></html>");
    UrlItem item = Item(nginx->Url("/site/hosts.html"));
    item.WithLinks = 1;
    Run(item);
    EXPECT_TRUE(FileExists(Local("dl/frame.html")));
    EXPECT_TRUE(ListMatching(Local("dl/away*")).empty());
    EXPECT_FALSE(FileExists(Local("dl/b.html")));
    EXPECT_EQ(Said(kEventFileResult, EventCode::RipRedirectOffSite), 1);
    EXPECT_EQ(Fetched(":1/"), 0);
    EXPECT_NE(Saved("hosts.html").find("href=\"http://127.0.0.1:1/site/b.html\""),
              std::string::npos);
}

// A page too large to rip is kept as delivered; resources too large, stalled or filling the
// disk are given up with a line that says why.
TEST_F(SiteRipTest, RipLimitsAreKeptAndSaidInTheLog) {
    struct Case {
        const char* what;
        RipLimits limits;
        EventCode message;
        int code;  // of the event that carries the message
    } cases[] = {
        {"page", {.maxPageBytes = 100}, EventCode::RipPageTooLarge, kEventMessage},
        {"resource", {.maxResourceBytes = 5}, EventCode::RipResourceTooLarge, kEventFileResult},
        {"disk",
         {.minFreeBytes = std::uint64_t{1} << 62},
         EventCode::RipDiskNearlyFull,
         kEventMessage},
    };
    for (const Case& c : cases) {
        SitePageProcessor limited(c.limits);
        env->pages = &limited;
        UrlItem item = SiteItem();
        item.Dest = Local(std::string(c.what) + "/");
        Run(item);
        EXPECT_GE(Said(c.code, c.message), 1) << c.what;
        EXPECT_EQ(events.Codes().back(), kEventJobFinished) << c.what;
        const std::string folder = Local(std::string(c.what) + "/");
        // Nothing beyond a limit stays on the disk; the main page always does.
        EXPECT_TRUE(FileExists(folder + "index.html")) << c.what;
        EXPECT_FALSE(FileExists(folder + "a.png")) << c.what;
        if (c.code == kEventMessage) {
            EXPECT_EQ(ListMatching(folder + "*").size(), 1u) << c.what;
        }
    }
    EXPECT_NE(Slurp(Local("page/index.html")).find("href=\"css/main.css\""), std::string::npos);
    EXPECT_TRUE(FileExists(Local("resource/extra.css")));  // small enough

    if (!faults) KOV_SKIP_WITHOUT_SERVER() << "python3 is not installed";
    nginx->WriteFile("site/stalled.html",
                     "<html><img src=\"" + faults->Url("/trickle?size=100&every=1&head=0") +
                         "\"><img src=\"" + faults->Url("/silent") + "\"></html>");
    SitePageProcessor impatient(RipLimits{.resourceTime = std::chrono::milliseconds(500)});
    env->pages = &impatient;
    UrlItem stalled = Item(nginx->Url("/site/stalled.html"));
    stalled.WithPics = 1;
    Run(stalled);
    EXPECT_EQ(Said(kEventFileResult, EventCode::RipResourceTimedOut), 2);
    EXPECT_EQ(events.Codes().back(), kEventJobFinished);
}

TEST_F(SiteRipTest, OlderRulesAndAStopBetweenRecords) {
    settings.ModernHtml = 0;
    settings.LogDetail = 0;
    settings.DocModeFlags = 1;  // linked documents only when they are text
    Run(SiteItem());
    EXPECT_FALSE(FileExists(Local("dl/big.png")));
    EXPECT_TRUE(FileExists(Local("dl/page2.html")));
    // No style sheet without its type, no srcset; page links point at absolute local paths.
    EXPECT_FALSE(FileExists(Local("dl/main.css")));
    EXPECT_FALSE(FileExists(Local("dl/a2.png")));
    EXPECT_NE(Saved("page3.html").find("href=\"" + Local("dl/page2.html") + "\""),
              std::string::npos);
    EXPECT_EQ(events.Count(kEventParseStarted), 0);

    // Stopped after the main page: nothing else is fetched.
    class StopSink : public test::RecordingJobSink {
    public:
        void Post(JobEvent event) override {
            if (event.code == kEventFileResult && job) job->stopRequest = kStopNow;
            RecordingJobSink::Post(std::move(event));
        }
        DownloadJob* job = nullptr;
    } stopper;
    env->sink = &stopper;
    settings.ModernHtml = 1;
    UrlItem item = SiteItem();
    item.Dest = dir.path() + "/stopped/";
    auto job = MakeJob(item);
    stopper.job = job.get();
    job->Run();
    EXPECT_TRUE(FileExists(Local("stopped/index.html")));
    EXPECT_FALSE(FileExists(Local("stopped/frame.html")));
    EXPECT_EQ(stopper.Codes().back(), kEventJobAborted);
}

}  // namespace
}  // namespace kov
