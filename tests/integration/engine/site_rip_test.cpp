#include <gtest/gtest.h>

#include <set>
#include <sstream>

#include "engine/site_page_processor.h"
#include "job_test_fixture.h"
#include "net/inet.h"
#include "net/shared_connections.h"
#include "support/nginx_server.h"

namespace kov {
namespace {

// A site of three levels with what today's pages hold, and links that must not be followed.
void FillSite(test::NginxServer& n) {
    n.AddLocation("location ~ \\.php$ { types {} default_type text/html; }");
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
}

class SiteRipTest : public test::JobTest {
protected:
    static void SetUpTestSuite() {
        InternetGlobalInit();
        if (!test::NginxServer::Available()) return;
        nginx = new test::NginxServer();
        FillSite(*nginx);
        ASSERT_TRUE(nginx->Start()) << nginx->ErrorLog();
    }
    static void TearDownTestSuite() {
        delete nginx;
        nginx = nullptr;
    }
    void SetUp() override {
        if (!nginx) GTEST_SKIP() << "nginx is not installed";
        env->pages = &SitePageProcessor::Shared();
        env->connections = SharedConnections::Create();
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

    static test::NginxServer* nginx;
};

test::NginxServer* SiteRipTest::nginx = nullptr;

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
