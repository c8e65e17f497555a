#include "content/html/html_ripper.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "content/html/link_kind.h"
#include "content/html/page_file.h"
#include "content/html/split_path.h"
#include "net/http/inet.h"
#include "platform/file_util.h"
#include "rewritten_text.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

constexpr const char* kPageUrl = "http://h.test/dir/index.htm";

class RipperTest : public ::testing::Test {
protected:
    void Prepare(bool modern, bool originalNames = true, int kinds = kKindAll) {
        ripper.SetModern(modern);
        ripper.SetEnableHttps(true);
        ripper.SetSaveOriginalNames(originalNames);
        ripper.SetKinds(kinds);
        ripper.SetPageHost(kPageUrl);
        ripper.ResetLinks(Page(), kPageUrl);
    }
    std::string Page() const { return dir.File("index.htm"); }
    void Write(const std::string& path, const std::string& text) const {
        ASSERT_TRUE(WriteFileAtomic(path, text, 0644));
    }
    // "url name" of every record after the main page.
    std::vector<std::string> Records() const {
        std::vector<std::string> out;
        for (std::size_t i = 1; i < ripper.Count(); ++i)
            out.push_back(ripper.Record(i).url + " " + SplitPath(ripper.Record(i).localPath, "23"));
        return out;
    }

    test::TempDir dir;
    HtmlRipper ripper;
};

struct ParseCase {
    const char* what;
    bool modern;
    int kinds;
    bool originalNames;
    const char* page;
    const char* rewritten;
    std::vector<std::string> records;
};

TEST_F(RipperTest, ParseHtmlFileCollectsAndRewritesEmbeddedResources) {
    const ParseCase cases[] = {
        {"capitals, unquoted, named five times",
         false,
         kKindAll,
         true,
         "<IMG SRC=p/a.gif><IMG SRC=p/a.gif><img src=p/a.gif><img src=p/a.gif><img src=p/a.gif>",
         "<img SRC=\"a.gif\"><img SRC=\"a.gif\"><img src=\"a.gif\"><img src=\"a.gif\"><img "
         "src=\"a.gif\">",
         {"http://h.test/dir/p/a.gif a.gif"}},
        {"closed right after the name or a longer name",
         false,
         kKindAll,
         true,
         "<img><img/><imgx src=a.gif>",
         "<img><img/><imgx src=a.gif>",
         {}},
        {"inside a script, a plus sign, a double quote",
         false,
         kKindAll,
         true,
         "<script>d('<img src=b.gif>')</script><img src='a+b.gif'><img src='q\".gif'>",
         "<script>d('<img src=b.gif>')</script><img src='a+b.gif'><img src='q\".gif'>",
         {}},
        {"script tags themselves",
         false,
         kKindScript,
         true,
         "<script src=a.js></script><script src=b.js></script>",
         "<script src=\"a.js\"></script><script src=\"b.js\"></script>",
         {"http://h.test/dir/a.js a.js", "http://h.test/dir/b.js b.js"}},
        {"movie only with the flash bit, audio type exactly",
         false,
         kKindSound,
         true,
         "<param name=movie value=m.swf><object type=audio/x-wav data=s.wav>",
         "<param name=movie value=m.swf><object type=audio/x-wav data=s.wav>",
         {}},
        {"same name twice, query cut, comma in the name",
         false,
         kKindAll,
         true,
         "<img src=a/x.gif><img src=b/x.gif><img src=s.php?id=3><img src=s.php?id=4>"
         "<img src=c,d.gif>",
         "<img src=\"x.gif\"><img src=\"x_001.gif\"><img src=\"s.htm\"><img src=\"s_001.htm\">"
         "<img src=\"Internal-001.$$$\">",
         {"http://h.test/dir/a/x.gif x.gif", "http://h.test/dir/b/x.gif x_001.gif",
          "http://h.test/dir/s.php?id=3 s.htm", "http://h.test/dir/s.php?id=4 s_001.htm",
          "http://h.test/dir/c,d.gif Internal-001.$$$"}},
        {"names after the page",
         false,
         kKindAll,
         false,
         "<img src=a.gif>",
         "<img src=\"index_02.gif\">",
         {"http://h.test/dir/a.gif index_02.gif"}},
        {"url() in a style attribute, quoted",
         false,
         kKindAll,
         true,
         "<div style=\"background:url('bg.png')\"><p style='x:url(bg.png)'>",
         "<div style=\"background:url(bg.png)\"><p style='x:url(bg.png)'>",
         {"http://h.test/dir/bg.png bg.png"}},
        {"links that cannot be fetched, hostile names",
         false,
         kKindAll,
         true,
         "<img src=mailto:a@b><img src=data:x><img src=../../../etc/pass%00wd.gif>"
         "<img src=\"a$b`c.gif\">",
         "<img src=mailto:a@b><img src=data:x><img src=\"pass_00wd.gif\"><img src=\"a_b_c.gif\">",
         {"http://h.test/etc/pass%00wd.gif pass_00wd.gif",
          "http://h.test/dir/a$b`c.gif a_b_c.gif"}},
        {"older rules: a style sheet needs its type",
         false,
         kKindAll,
         true,
         "<link rel=stylesheet href=s.css><link type=text/css href=t.css>",
         "<link rel=stylesheet href=s.css><link type=\"text/css\" href=\"t.css\">",
         {"http://h.test/dir/t.css t.css"}},
        {"today's pages",
         true,
         kKindAll,
         true,
         "<link rel=stylesheet href=s.css><link rel='shortcut icon' href=/f.ico>"
         "<img src=a.png srcset='a2.png 2x, /b.webp 3x'><video poster=p.jpg src=v.mp4></video>"
         "<style>@import \"i.css\"; b{background:url(u.svg)}</style>",
         "<link rel=\"stylesheet\" href=\"s.css\"><link rel=\"shortcut icon\" href=\"f.ico\">"
         "<img src=\"a.png\" srcset=\"a2.png 2x, b.webp 3x\"><video poster=\"p.jpg\" "
         "src=\"v.mp4\"></video><style>@import \"i.css\"; b{background:url(u.svg)}</style>",
         {"http://h.test/dir/s.css s.css", "http://h.test/dir/a.png a.png",
          "http://h.test/dir/a2.png a2.png", "http://h.test/b.webp b.webp",
          "http://h.test/dir/v.mp4 v.mp4", "http://h.test/dir/p.jpg p.jpg",
          "http://h.test/f.ico f.ico", "http://h.test/dir/u.svg u.svg",
          "http://h.test/dir/i.css i.css"}},
        {"an address with &amp;",
         true,
         kKindAll,
         true,
         "<img src=\"p.php?a=1&amp;b=2\">",
         "<img src=\"p.htm\">",
         {"http://h.test/dir/p.php?a=1&b=2 p.htm"}},
        {"a data: address in srcset holds a comma",
         true,
         kKindAll,
         true,
         "<img srcset=\"data:image/gif;base64,R0lG 1x,c.png 2x\">",
         "<img srcset=\"data:image/gif;base64,R0lG 1x, c.png 2x\">",
         {"http://h.test/dir/c.png c.png"}},
    };
    for (const ParseCase& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare(c.modern, c.originalNames, c.kinds);
        Write(Page(), c.page);
        ripper.ParseHtmlFile(Page(), kPageUrl, false);
        EXPECT_EQ(dir.Read("index.htm"), c.rewritten);
        EXPECT_EQ(Records(), c.records);
    }
}

TEST_F(RipperTest, RewrittenPageKeepsItsTimeAndAnUnreadablePageGivesNothing) {
    Prepare(false);
    Write(Page(), "<img src=a.gif><a href=b.htm>b</a>");
    ASSERT_TRUE(SetFileTimes(Page(), 1000000000, 1000000000));
    // However often it is rewritten: the job stamps a finished page once, not every write.
    EXPECT_EQ(ripper.ParseHtmlFile(Page(), kPageUrl, false), 2);
    EXPECT_EQ(ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0), 1);
    EXPECT_EQ(LastWriteTime(Page()).value_or(0), 1000000000);
    EXPECT_EQ(ripper.ParseHtmlFile(dir.File("missing.htm"), kPageUrl, false), 0);

    // A write that fails midway (a full disk, here a file size limit) leaves the page whole.
    const std::string page = "<img src=b.gif>" + std::string(5000, ' ');
    Write(Page(), page);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = saved;
    small.rlim_cur = 1000;
    setrlimit(RLIMIT_FSIZE, &small);
    ripper.ParseHtmlFile(Page(), kPageUrl, false);
    setrlimit(RLIMIT_FSIZE, &saved);
    EXPECT_EQ(dir.Read("index.htm"), page);
    EXPECT_EQ(ListMatching(dir.path() + "/.*").size(), 0u);

    // A page whose name is near the limit is still rewritten.
    const std::string longPage = dir.File(std::string(250, 'p') + ".htm");
    std::ofstream(longPage) << "<img src=c.gif>";
    ripper.ParseHtmlFile(longPage, kPageUrl, false);
    EXPECT_EQ(ReadFile(longPage).value_or(""), "<img src=\"c.gif\">");

    // A name longer than a file name may be is cut, and stays in the page's folder.
    Write(Page(), "<img src=" + std::string(300, 'x') + ".gif>");
    ripper.ParseHtmlFile(Page(), kPageUrl, false);
    const std::string& local = ripper.Record(ripper.Count() - 1).localPath;
    EXPECT_EQ(SplitPath(local, "1"), dir.path() + "/");
    EXPECT_LE(SplitPath(local, "23").size(), 255u);
    EXPECT_TRUE(local.ends_with(".gif"));
}

TEST_F(RipperTest, TheServersTypeNamesLinksWhoseNameSaysNothing) {
    Prepare(false);
    ripper.SetDetectUrlTypes(true, [](const std::string&) { return std::string("image/gif"); });
    Write(Page(), "<img src=c,d.gif><img src=pic><img src=p.jpg>");
    ripper.ParseHtmlFile(Page(), kPageUrl, false);
    EXPECT_EQ(Records(), (std::vector<std::string>{"http://h.test/dir/c,d.gif Internal-001.gif",
                                                   "http://h.test/dir/pic pic.gif",
                                                   "http://h.test/dir/p.jpg p.jpg"}));
}

TEST_F(RipperTest, GrabHtmlLinksKeepsTheSiteAndLeavesOtherLinksAlone) {
    struct Case {
        bool modern;
        const char* rewritten;
        std::vector<std::string> records;
    } cases[] = {
        {false,
         "<a href=\"p.htm#top\"><a href=\"p.htm#end\"><a href=http://o.test/x.htm>"
         "<a href=https://h.test/s.htm><a href=mailto:a@b><a href=#here><a href=\"q.htm\">",
         {"http://h.test/dir/p.htm p.htm", "http://h.test/q.htm q.htm"}},
        // Links are rewritten at the end, once it is known which pages arrived.
        {true,
         "<a href=p.htm#top><a href=p.htm#end><a href=http://o.test/x.htm>"
         "<a href=https://h.test/s.htm><a href=mailto:a@b><a href=#here><a href=../q.htm>",
         {"http://h.test/dir/p.htm p.htm", "https://h.test/s.htm s.htm",
          "http://h.test/q.htm q.htm"}},
    };
    for (const Case& c : cases) {
        Prepare(c.modern);
        Write(Page(),
              "<a href=p.htm#top><a href=p.htm#end><a href=http://o.test/x.htm>"
              "<a href=https://h.test/s.htm><a href=mailto:a@b><a href=#here><a href=../q.htm>");
        ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0);
        EXPECT_EQ(dir.Read("index.htm"), c.rewritten);
        EXPECT_EQ(Records(), c.records);
        for (std::size_t i = 1; i < ripper.Count(); ++i)
            EXPECT_EQ(ripper.Record(i).depth, 1);
    }
}

TEST_F(RipperTest, CrossReferencesPointAtFetchedPagesOnly) {
    struct Case {
        bool modern;
        std::string expected;
    } cases[] = {
        {false, "<a href=\"" + dir.File("a.htm") + "#s\"><a href=b.htm>"},
        {true, "<a href=a.htm#s><a href=\"http://h.test/dir/b.htm\"><a href=#top>"},
    };
    for (const Case& c : cases) {
        Prepare(c.modern);
        Write(Page(),
              "<a href=a.htm#s><a href=b.htm>" + std::string(c.modern ? "<a href=#top>" : ""));
        ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0);
        Write(Page(),
              "<a href=a.htm#s><a href=b.htm>" + std::string(c.modern ? "<a href=#top>" : ""));
        Write(dir.File("a.htm"), "<a href=../dir/index.htm>");
        ripper.SetDownloaded(1, true);  // a.htm arrived, b.htm did not
        ripper.SetHtml(1);
        ripper.AdjustCrossRefs(0);
        ripper.AdjustCrossRefs(1);
        EXPECT_EQ(dir.Read("index.htm"), c.expected);
        EXPECT_EQ(dir.Read("a.htm"), "<a href=\"" + (c.modern ? "index.htm" : Page()) + "\">");
    }
}

// Each pass over a page tells which parts of the page as read it replaced: tags whose values
// changed, references in style values and blocks, tags a later pass changed again, a tag that
// holds what reads like a reference in another value; all else stays the page's own.
TEST_F(RipperTest, RewrittenRangesCoverEveryChangeAndNothingElse) {
    struct Case {
        const char* what;
        bool modern;
        std::string page;
        std::size_t ranges;
    } cases[] = {
        {"nothing to change", true, "<p>text</p><a href=#x>x</a>", 0},
        {"pictures and a link", false, "<img src=p/a.gif> and <a href=a.htm>a</a> <img src=b.gif>",
         3},
        {"a style value and a style block", true,
         "<p style=\"background:url(s/x.png)\">t</p><style>p{background:url(s/y.png)}</style>", 2},
        {"one tag changed by two passes", true,
         "<link rel=\"stylesheet\" type=\"x:url(a)\" href=\"s.css\" /><a href=a.htm>a</a>", 1},
        {"a link to the page itself and one off the site", true,
         "<a href=index.htm#top>t</a><a href=http://other.test/>o</a><a href=../dir/a.htm#s>s</a>",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare(c.modern);
        ripper.SetTrackRewrites(true);
        Write(Page(), c.page);
        Write(dir.File("a.htm"), "<p>a</p>");
        ripper.ParseHtmlFile(Page(), kPageUrl, false);
        ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0);
        for (std::size_t i = 1; i < ripper.Count(); ++i) {
            if (ripper.Record(i).url != "http://h.test/dir/a.htm") continue;
            ripper.SetDownloaded(i, true);  // a.htm arrived
            ripper.SetHtml(i);
        }
        ripper.AdjustCrossRefs(0);
        const std::string rewritten = dir.Read("index.htm");
        const std::vector<RewrittenRange> ranges = ripper.RewrittenRanges(Page());
        EXPECT_EQ(test::Rebuild(c.page, rewritten, ranges), rewritten);
        EXPECT_EQ(ranges.size(), c.ranges);
    }
}

// A page lands in another folder than on the server: the <link>s the rip did not take lead to
// the local copy when there is one, else to the web; those it took keep their local names.
TEST_F(RipperTest, CrossReferencesMendLinkTagsTheRipDidNotTake) {
    const std::string head =
        "<link rel=stylesheet href=s.css><link rel=icon href=f.ico>"
        "<link rel=next href=../up/n.htm><link rel=prev href=../dir/a.htm#top><link rel=x>";
    const std::string mended =
        "<link rel=\"next\" href=\"http://h.test/up/n.htm\">"
        "<link rel=\"prev\" href=\"a.htm#top\"><link rel=x>";
    struct Case {
        const char* what;
        bool modern;
        int kinds;
        std::string expected;
    } cases[] = {
        {"style sheet and icon taken", true, kKindAll,
         "<link rel=stylesheet href=s.css><link rel=icon href=f.ico>" + mended},
        {"nothing taken", true, 0,
         "<link rel=\"stylesheet\" href=\"http://h.test/dir/s.css\">"
         "<link rel=\"icon\" href=\"http://h.test/dir/f.ico\">" +
             mended},
        {"older pages keep their links", false, kKindAll, head},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Prepare(c.modern, true, c.kinds);
        Write(Page(), "<a href=a.htm>");
        ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0);
        Write(Page(), head);
        Write(dir.File("a.htm"), "a");
        ripper.SetDownloaded(1, true);
        ripper.AdjustCrossRefs(0);
        EXPECT_EQ(dir.Read("index.htm"), c.expected);
    }
}

// The cross-reference pass reads tags as the collecting passes do: a link in a script stays.
TEST_F(RipperTest, CrossReferencesInsideScriptsStay) {
    Prepare(false);
    const std::string script = "<script>go('<a href=a.htm>')</script>";
    Write(Page(), script + "<a href=a.htm>");
    ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0);
    Write(Page(), script + "<a href=a.htm>");
    Write(dir.File("a.htm"), "a");
    ripper.SetDownloaded(1, true);
    EXPECT_EQ(ripper.AdjustCrossRefs(0), 1);
    EXPECT_EQ(dir.Read("index.htm"), script + "<a href=\"" + dir.File("a.htm") + "\">");
}

// The passes of a series rip into one folder: a later pass goes on numbering and never writes
// over what an earlier pass fetched for another address.
TEST_F(RipperTest, LaterPassesOfOneJobKeepTheNamesOfEarlierOnes) {
    RipNames names;
    const char* pages[][2] = {
        {"http://h.test/dir/p1.htm", "<img src=a,b.gif><img src=1/logo.gif><img src=same.gif>"},
        {"http://h.test/dir/p2.htm", "<img src=c,d.gif><img src=2/logo.gif><img src=same.gif>"},
    };
    std::vector<std::string> names2;
    for (const auto& [url, text] : pages) {
        HtmlRipper pass;
        pass.SetNames(&names);
        const std::string path = dir.File(SplitPath(url, "23"));
        pass.SetPageHost(url);
        pass.ResetLinks(path, url);
        Write(path, text);
        pass.ParseHtmlFile(path, url, false);
        names2.clear();
        for (std::size_t i = 1; i < pass.Count(); ++i)
            names2.push_back(SplitPath(pass.Record(i).localPath, "23"));
    }
    EXPECT_EQ(names2, (std::vector<std::string>{"Internal-002.$$$", "logo_001.gif", "same.gif"}));
}

// Links that differ in case only are separate records; the link goes to the one that arrived.
TEST_F(RipperTest, CrossReferencesTakeTheFirstRecordWhoseFileExists) {
    Prepare(true);
    Write(Page(), "<a href=Page.htm><a href=page.htm><a href=PAGE.htm>");
    ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0);
    ASSERT_EQ(Records(), (std::vector<std::string>{"http://h.test/dir/Page.htm Page.htm",
                                                   "http://h.test/dir/page.htm page_001.htm",
                                                   "http://h.test/dir/PAGE.htm PAGE_002.htm"}));
    Write(dir.File("page_001.htm"), "<html>");  // only the second arrived
    ripper.SetDownloaded(2, true);
    ripper.AdjustCrossRefs(0);
    EXPECT_EQ(dir.Read("index.htm"),
              "<a href=\"page_001.htm\"><a href=\"page_001.htm\"><a href=\"page_001.htm\">");
}

// A cross-reference worker, which remembers links across pages of the same folders, rewrites
// each page as the ripper itself does: links to the page itself, to other pages by the same
// link text from other folders, with and without fragments, and through a <base>.
TEST_F(RipperTest, CrossRefWorkerRewritesAsTheRipperDoes) {
    const std::string links =
        "<a href=#top><a href=p1.htm#s><a href=p2.htm><a href=../x/p1.htm#t><a href=../y/p2.htm>"
        "<a href=gone.htm><a href=http://h.test/dir/x/p1.htm#u><a href=?q#v>";
    const std::vector<std::string> pages = {"x/p1.htm", "x/p2.htm", "y/p1.htm", "y/p2.htm",
                                            "z/p1.htm"};
    std::string index;
    for (const std::string& page : pages)
        index += "<a href=" + page + ">";
    std::map<std::string, std::string> results[2];
    for (const bool worker : {false, true}) {
        Prepare(true);
        Write(Page(), index);
        ripper.GrabHtmlLinks(Page(), kPageUrl, 0, 0);
        ASSERT_EQ(ripper.Count(), pages.size() + 1);
        for (std::size_t i = 1; i <= pages.size(); ++i) {
            std::filesystem::create_directories(
                std::filesystem::path(ripper.Record(i).localPath).parent_path());
            // The page in z reads its links as if it were x/p2.htm.
            Write(ripper.Record(i).localPath,
                  (i == pages.size() ? "<base href=\"http://h.test/dir/x/p2.htm\">" : "") + links);
            ripper.SetDownloaded(i, true);
            ripper.SetHtml(i);
        }
        std::unique_ptr<HtmlRipper> pass = worker ? ripper.CrossRefWorker() : nullptr;
        for (std::size_t i = 1; i <= pages.size(); ++i)
            (worker ? *pass : ripper).AdjustCrossRefs(i);
        pass.reset();
        for (std::size_t i = 1; i <= pages.size(); ++i)
            results[worker ? 1 : 0][pages[i - 1]] =
                ReadFile(ripper.Record(i).localPath).value_or("");
    }
    EXPECT_EQ(results[0], results[1]);
    EXPECT_EQ(results[0]["z/p1.htm"],
              "<base href=\"http://h.test/dir/x/p2.htm\"><a href=\"p2.htm#top\"><a href=p1.htm#s>"
              "<a href=p2.htm><a href=\"p1.htm#t\"><a href=\"p2_001.htm\">"
              "<a href=\"http://h.test/dir/x/gone.htm\"><a href=\"p1.htm#u\">"
              "<a href=\"http://h.test/dir/x/p2.htm?q#v\">");
    EXPECT_EQ(
        results[0]["x/p1.htm"],
        "<a href=#top><a href=p1.htm#s><a href=p2.htm><a href=\"p1.htm#t\">"
        "<a href=\"p2_001.htm\"><a href=\"http://h.test/dir/x/gone.htm\"><a href=\"p1.htm#u\">"
        "<a href=\"http://h.test/dir/x/p1.htm?q#v\">");
}

TEST_F(RipperTest, StyleSheetReferencesAndImports) {
    for (bool modern : {false, true}) {
        Prepare(modern);
        const std::string css = dir.File("s.css");
        Write(css, "@import \"i.css\";\n@import url(j.css);\nb{background:url( \"img/b.png\" )}");
        ripper.ParseCssFile(css, "http://h.test/dir/css/s.css");
        EXPECT_EQ(dir.Read("s.css"),
                  "@import \"i.css\";\n@import url(j.css);\nb{background:url(b.png)}");
        EXPECT_EQ(Records().size(), modern ? 3u : 1u);
        EXPECT_EQ(Records()[0], modern ? "http://h.test/dir/css/j.css j.css"
                                       : "http://h.test/dir/css/img/b.png b.png");
    }
    // A name with a blank is quoted; a reference holding '(' is left as it stands.
    const std::string css = dir.File("t.css");
    Write(css, "a{background:url('c d.png')} b{background:url(e(1).png)}");
    ripper.ParseCssFile(css, "http://h.test/dir/t.css");
    EXPECT_EQ(dir.Read("t.css"), "a{background:url(\"c d.png\")} b{background:url(e(1).png)}");
}

// Hostile pages of many unclosed tags or references are read in one pass, not one per tag.
TEST_F(RipperTest, UnclosedTagsAndReferencesDoNotStallTheScan) {
    Prepare(true);
    std::string page;
    for (int i = 0; i < 100000; ++i)
        page += "<imgx <a ";
    // The first of them is one tag up to the '>', with every later one among its attributes.
    Write(Page(), page + "><img src=a.gif>");
    ripper.ParseHtmlFile(Page(), kPageUrl, false);
    ripper.SetDownloaded(0, true);
    ripper.AdjustCrossRefs(0);
    EXPECT_TRUE(dir.Read("index.htm").ends_with("<img src=\"a.gif\">"));

    std::string sheet;
    for (int i = 0; i < 100000; ++i)
        sheet += "url(";
    Write(dir.File("s.css"), sheet + ")");
    EXPECT_EQ(ripper.ParseCssFile(dir.File("s.css"), "http://h.test/dir/s.css"), 0);

    // Many links of one name are numbered without trying every lower number again.
    Prepare(true);
    page.clear();
    for (int i = 0; i < 5000; ++i)
        page += "<img src=d" + std::to_string(i) + "/x.gif>";
    Write(Page(), page);
    ripper.ParseHtmlFile(Page(), kPageUrl, false);
    ASSERT_EQ(ripper.Count(), 5001u);
    EXPECT_EQ(SplitPath(ripper.Record(5000).localPath, "23"), "x_4999.gif");
}

TEST(LinkKindTest, KindFromExtensionAndSplitPath) {
    const std::pair<const char*, int> kinds[] = {
        {"a.HTML", kKindPage},
        {"a.shtml", kKindPage},
        {"a.php", kKindPage},
        {"a.css", kKindStyle},
        {"a.JPEG", kKindPicture},
        {"a.mp3", kKindSound},
        {"a.wmv", kKindVideo},
        {"a.class", kKindJava},
        {"a.js", kKindScript},
        {"a", -1},
        {"a.zip", -1},
    };
    for (const auto& [name, kind] : kinds)
        EXPECT_EQ(KindFromExtension(name), kind) << name;
    EXPECT_EQ(SplitPath("c:\\d/e.f.g", "1"), "c:\\d/");
    EXPECT_EQ(SplitPath("c:\\d/e.f.g", "23"), "e.f.g");
    EXPECT_EQ(SplitPath("c:\\d/e.f.g", "3"), ".g");
    EXPECT_EQ(SplitPath("d.x/e", "3"), "");
}

}  // namespace
}  // namespace kov
