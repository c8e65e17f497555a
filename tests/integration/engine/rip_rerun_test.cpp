#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <sstream>

#include "engine/site_page_processor.h"
#include "job_test_fixture.h"

namespace kov {
namespace {

constexpr std::time_t kServed = 1700000001;

// A small site of two levels; every file with a fixed server time, so that a change is seen.
void FillSite(test::NginxServer& n) {
    n.WriteFile("m/index.html",
                "<html><link rel=\"stylesheet\" href=\"s.css\"><img src=\"p.png\">"
                "<a href=\"a.html\">a</a> <a href=\"b.html\">b</a></html>");
    n.WriteFile("m/a.html", "<html><img src=\"q.png\"><a href=\"index.html\">home</a></html>");
    n.WriteFile("m/b.html", "<html>b</html>");
    n.WriteFile("m/s.css", "body{background:url(bg.png)}");
    for (const char* picture : {"m/p.png", "m/q.png", "m/bg.png"})
        n.WriteFile(picture, "picture");
}

// Re-runs of a ripped site: what the server reports unchanged is neither fetched nor
// rewritten.
class RipRerunTest : public test::NginxJobTest<FillSite> {
protected:
    struct Stamp {
        std::time_t time = 0;
        ino_t inode = 0;
        bool operator==(const Stamp&) const = default;
    };

    void SetUp() override {
        NginxJobTest::SetUp();
        if (IsSkipped()) return;
        env->pages = &SitePageProcessor::Shared();
        for (const char* name :
             {"index.html", "a.html", "b.html", "s.css", "p.png", "q.png", "bg.png"})
            Serve(name, Slurp(nginx->DocRoot() + "/m/" + name), kServed);
    }
    UrlItem SiteItem() const {
        UrlItem item = Item(nginx->Url("/m/index.html"), "rerun/");
        item.WithLinks = 1;
        item.WithPics = 1;
        item.NestedDepth = 2;
        return item;
    }
    static void Serve(const std::string& name, const std::string& content, std::time_t time) {
        ASSERT_TRUE(nginx->WriteFile("m/" + name, content));
        ASSERT_TRUE(SetFileTimes(nginx->DocRoot() + "/m/" + name, time, time));
    }
    // Time and inode of every local file: a rewrite gives a page a new inode.
    std::map<std::string, Stamp> Stamps() const {
        std::map<std::string, Stamp> stamps;
        for (const FolderEntry& entry : ListMatching(Local("rerun/*"))) {
            struct stat st {};
            if (::stat(Local("rerun/" + entry.name).c_str(), &st) == 0)
                stamps[entry.name] = {st.st_mtime, st.st_ino};
        }
        return stamps;
    }
    // "status path" of each request after the first `from` log lines.
    static std::map<std::string, std::string> StatusByPath(std::size_t from) {
        std::istringstream log(nginx->AccessLog());
        std::map<std::string, std::string> statuses;
        std::size_t n = 0;
        for (std::string line; std::getline(log, line); ++n) {
            if (n < from) continue;
            std::istringstream fields(line);
            std::string connection, status, method, path;
            fields >> connection >> status >> method >> path;
            statuses[path.substr(path.rfind('/') + 1)] += status;
        }
        return statuses;
    }
    static std::size_t LogLines() {
        const std::string log = nginx->AccessLog();
        return static_cast<std::size_t>(std::count(log.begin(), log.end(), '\n'));
    }
};

TEST_F(RipRerunTest, AnUnchangedSiteIsAskedAboutAndLeftAlone) {
    Run(SiteItem());
    const std::map<std::string, Stamp> before = Stamps();
    const std::string index = Slurp(Local("rerun/index.html"));
    ASSERT_NE(index.find("href=\"a.html\""), std::string::npos) << index;
    for (int session = 2; session <= 3; ++session) {
        const std::size_t from = LogLines();
        Run(SiteItem());
        EXPECT_EQ(Stamps(), before) << session;
        EXPECT_EQ(Slurp(Local("rerun/index.html")), index);
        const std::map<std::string, std::string> statuses = StatusByPath(from);
        EXPECT_EQ(statuses.size(), 7u) << session;
        for (const auto& [path, status] : statuses)
            EXPECT_EQ(status, "304") << path << " in session " << session;
        EXPECT_EQ(events.Codes().back(), kEventJobFinished);
    }
}

// The temporary files of saves cut short by a kill (of the records, of pages and style sheets
// being rewritten) go on the next run, whatever the server says of the main page; files of the
// site with similar names stay.
TEST_F(RipRerunTest, SavesCutShortLeaveNothingBehind) {
    Run(SiteItem());
    const char* leftovers[] = {"..index.html.kov-rip.Xy12AB", ".index.html.Ab12Cd",
                               ".a.html.zZ09aa", ".s.css.QQ11qq"};
    const char* others[] = {"..index.html.kov-rip.Xy12AB.html", ".a.html.zZ09a", ".p.png.Ab12Cd",
                            ".a.html.Ab12C-"};
    for (const char* name : leftovers)
        ASSERT_TRUE(WriteFileAtomic(Local("rerun/") + name, "{\"version\":", 0600));
    for (const char* name : others)
        ASSERT_TRUE(WriteFileAtomic(Local("rerun/") + name, "page", 0644));
    Run(SiteItem());
    for (const char* name : leftovers)
        EXPECT_FALSE(FileExists(Local("rerun/") + name)) << name;
    for (const char* name : others)
        EXPECT_TRUE(FileExists(Local("rerun/") + name)) << name;
    EXPECT_EQ(events.Codes().back(), kEventJobFinished);
}

// Records that cannot be saved (a full disk; here a folder in their place) leave the main page
// to be fetched anew: kept as the server's, it would be asked about alone, and the rest of the
// site never again.
TEST_F(RipRerunTest, RecordsThatCannotBeSavedLeaveTheSiteToBeRippedAnew) {
    ASSERT_TRUE(CreateFolders(Local("rerun/.index.html.kov-rip/")));
    Run(SiteItem());
    ASSERT_TRUE(FileExists(Local("rerun/b.html")));
    ASSERT_EQ(::rmdir(Local("rerun/.index.html.kov-rip").c_str()), 0);
    Serve("b.html", "<html>b, changed</html>", kServed + 100);
    const std::size_t from = LogLines();
    Run(SiteItem());
    const std::map<std::string, std::string> statuses = StatusByPath(from);
    EXPECT_EQ(statuses.count("index.html") ? statuses.at("index.html") : "", "200");
    EXPECT_EQ(Slurp(Local("rerun/b.html")), "<html>b, changed</html>");
    EXPECT_TRUE(FileExists(Local("rerun/.index.html.kov-rip")));
}

// Only what changed is fetched and rewritten; a changed page's new links are followed, and
// pages kept as they were keep pointing at their local neighbours.
TEST_F(RipRerunTest, WhatChangedIsFetchedAndOnlyThat) {
    struct Case {
        const char* what;
        const char* file;
        std::string content;
        std::vector<std::string> fetched;  // the files that come with 200
    } cases[] = {
        {"a page",
         "a.html",
         "<html><img src=\"q.png\"><a href=\"c.html\">c</a></html>",
         {"a.html", "c.html"}},
        {"a picture", "q.png", "another picture", {"q.png"}},
        {"a style sheet", "s.css", "p{background:url(q.png)}", {"s.css"}},
    };
    Serve("c.html", "<html>c</html>", kServed);
    Run(SiteItem());
    std::time_t served = kServed;
    for (const Case& c : cases) {
        const std::map<std::string, Stamp> before = Stamps();
        Serve(c.file, c.content, served += 10);
        const std::size_t from = LogLines();
        Run(SiteItem());
        const std::map<std::string, Stamp> after = Stamps();
        for (const auto& [path, status] : StatusByPath(from)) {
            const bool expected =
                std::find(c.fetched.begin(), c.fetched.end(), path) != c.fetched.end();
            EXPECT_EQ(status, expected ? "200" : "304") << c.what << ": " << path;
            if (!expected) {
                EXPECT_EQ(after.at(path), before.at(path)) << c.what << ": " << path;
            }
        }
        EXPECT_EQ(events.Codes().back(), kEventJobFinished) << c.what;
    }
    EXPECT_EQ(Slurp(Local("rerun/a.html")),
              "<html><img src=\"q.png\"><a href=\"c.html\">c</a></html>");
    EXPECT_EQ(Slurp(Local("rerun/c.html")), "<html>c</html>");
    EXPECT_EQ(Slurp(Local("rerun/s.css")), "p{background:url(q.png)}");
    EXPECT_EQ(Slurp(Local("rerun/q.png")), "another picture");
}

// Records kept under other settings are not used: the page comes again and is ripped anew.
TEST_F(RipRerunTest, OtherSettingsRipTheSiteAnew) {
    Run(SiteItem());
    UrlItem textOnly = SiteItem();
    textOnly.NestedDepth = 1;
    const std::size_t from = LogLines();
    Run(textOnly);
    const std::map<std::string, std::string> statuses = StatusByPath(from);
    EXPECT_EQ(statuses.at("index.html"), "304200");
    EXPECT_EQ(events.Codes().back(), kEventJobFinished);
    EXPECT_NE(Slurp(Local("rerun/index.html")).find("href=\"a.html\""), std::string::npos);
    const std::size_t again = LogLines();
    Run(textOnly);
    EXPECT_EQ(StatusByPath(again).at("index.html"), "304");
}

}  // namespace
}  // namespace kov
