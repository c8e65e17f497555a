// Malformed pages and sheets whose references would overlap: a tag inside another tag's value,
// a url( inside an @import address. Each reference is rewritten only where its new text leaves
// everything around it as it read before.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content/html/html_ripper.h"
#include "content/html/link_kind.h"
#include "content/html/page_scan_cursor.h"
#include "content/html/page_tags.h"
#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

constexpr const char* kPageUrl = "http://h.test/dir/index.htm";

struct RewriteCase {
    const char* what;
    bool modern;
    const char* before;
    const char* after;
    std::size_t records;  // besides the main page
};

class OverlapTest : public ::testing::Test {
protected:
    // The text after the ripper's pass over a page (or a sheet).
    std::string Rewritten(const RewriteCase& c, bool sheet) {
        HtmlRipper ripper;
        ripper.SetModern(c.modern);
        ripper.SetKinds(kKindAll);
        ripper.SetPageHost(kPageUrl);
        const std::string path = dir.File(sheet ? "s.css" : "index.htm");
        ripper.ResetLinks(dir.File("index.htm"), kPageUrl);
        EXPECT_TRUE(WriteFileAtomic(path, c.before, 0644));
        if (sheet)
            ripper.ParseCssFile(path, "http://h.test/dir/s.css");
        else
            ripper.ParseHtmlFile(path, kPageUrl, false);
        EXPECT_EQ(ripper.Count() - 1, c.records) << c.what;
        return dir.Read(sheet ? "s.css" : "index.htm");
    }

    test::TempDir dir;
};

TEST_F(OverlapTest, TagsInsideAnotherTagStayTextAndUrlsStayInTheirValue) {
    const RewriteCase cases[] = {
        {"a script tag in a quoted value", false, "<img alt=\"<script src=x.js>\" src=a.gif>",
         "<img alt=\"<script src=x.js>\" src=\"a.gif\">", 1},
        {"an open quote swallows the tags after it", false,
         "<p title=\"x><img src=a.gif><img src=b.gif>",
         "<p title=\"x><img src=a.gif><img src=b.gif>", 0},
        {"a tag closed later in the value", false,
         "<a href=\"x><img src=s.gif> y\"><img src=c.gif>",
         "<a href=\"x><img src=s.gif> y\"><img src=\"c.gif\">", 1},
        {"an end tag's value", false, "</p title='<img src=a.gif>'><img src=b.gif>",
         "</p title='<img src=a.gif>'><img src=\"b.gif\">", 1},
        {"no tag in a script or style block", true,
         "<script>s='<img src=a.gif title=\"';</script><style>/*<img src=b.gif>*/</style>"
         "<img src=c.gif>",
         "<script>s='<img src=a.gif title=\"';</script><style>/*<img src=b.gif>*/</style>"
         "<img src=\"c.gif\">",
         1},
        {"a comment's tags are still read", false, "<!-- <img src=a.gif> -->",
         "<!-- <img src=\"a.gif\"> -->", 1},
        {"a style block inside a value", true,
         "<img alt=\"<style>b{background:url(a b.png)}</style>\">",
         "<img alt=\"<style>b{background:url(a b.png)}</style>\">", 0},
        // A url( in a tag is rewritten only inside one value, and without quotes.
        {"a blank in a double-quoted style", false, "<div style=\"background:url('c d.png')\">",
         "<div style=\"background:url(c%20d.png)\">", 1},
        {"a reference across two attributes", false, "<div a=url('i b=j.png')>",
         "<div a=url('i b=j.png')>", 0},
        {"a reference that runs out of its value", false,
         "<img srcset=\"a.png 1x, \"background: url('i j.png')\">",
         "<img srcset=\"a.png 1x, \"background: url('i j.png')\">", 0},
        {"a reference in a tag inside a script", false,
         "<script>w('<p style=\"x:url(a.png)\">')</script>",
         "<script>w('<p style=\"x:url(a.png)\">')</script>", 0},
    };
    for (const RewriteCase& c : cases)
        EXPECT_EQ(Rewritten(c, false), c.after) << c.what;
}

TEST_F(OverlapTest, ImportAddressesAreReadByTheImportOnly) {
    const RewriteCase cases[] = {
        {"a url( inside an import address", true, "@import \"x url(b c.png) y.css\";",
         "@import \"x url(b c.png) y.css\";", 1},
        {"a url( that runs into an import address", true, "a{b:url(q @import 'r) s'}",
         "a{b:url(q @import 'r) s.$$$'}", 1},
        {"an import inside an import", true, "@import 'a @import \"b.css\" c';",
         "@import 'a @import \"b.css\" c';", 0},
        {"an address outside an import", true, "@import 'i.css'; a{b:url(c d.png)}",
         "@import 'i.css'; a{b:url(\"c d.png\")}", 2},
        {"an unclosed import address", true, "b{x:url(a.png)} @import 'c url(d.png)",
         "b{x:url(a.png)} @import 'c url(d.png)", 1},
    };
    for (const RewriteCase& c : cases)
        EXPECT_EQ(Rewritten(c, true), c.after) << c.what;
}

// A hostile tag of many references is walked once, not once per reference.
TEST_F(OverlapTest, ManyReferencesInOneTagAreReadInOnePass) {
    std::string page = "<div style=\"";
    for (int i = 0; i < 50000; ++i)
        page += "url(a.png) ";
    EXPECT_TRUE(WriteFileAtomic(dir.File("index.htm"), page + "\">", 0644));
    HtmlRipper ripper;
    ripper.SetPageHost(kPageUrl);
    ripper.ResetLinks(dir.File("index.htm"), kPageUrl);
    ripper.ParseHtmlFile(dir.File("index.htm"), kPageUrl, false);
    EXPECT_EQ(ripper.Count(), 2u);
    EXPECT_EQ(dir.Read("index.htm"), page + "\">");
}

struct CursorCase {
    const char* text;
    std::vector<std::size_t> tagStarts;  // every '<' that begins a tag
};

TEST(PageScanCursorTest, FindsTheTagsABrowserFinds) {
    const CursorCase cases[] = {
        {"<a><b>", {0, 3}},
        {"a < b <1 <!-- <p> --> <?x?>", {14}},
        {"<a t=\"<b>\"><c>", {0, 11}},
        {"<a t='<b>><c>", {0}},
        {"<a t=<b><c>", {0, 8}},
        {"<a t = \"x\" / u='<b>'/><c>", {0, 22}},
        {"<script>'<a>'</script><b>", {0, 13, 22}},
        {"<STYLE><a></style><b>", {0, 10, 18}},
        {"</a x=\"<b>\"><c>", {0, 12}},
    };
    for (const CursorCase& c : cases) {
        const std::string_view text = c.text;
        PageScanCursor cursor(text);
        std::vector<std::size_t> starts;
        for (std::size_t at = text.find('<'); at != std::string_view::npos;
             at = text.find('<', at + 1)) {
            if (cursor.StartsTag(at)) starts.push_back(at);
        }
        EXPECT_EQ(starts, c.tagStarts) << c.text;
    }
}

TEST(PageScanCursorTest, TagEndsAndValues) {
    const std::string_view text = "<a x=\"1 2\" y=3 z><b t='";
    PageScanCursor cursor(text);
    EXPECT_EQ(cursor.TagEnd(0), 17u);
    EXPECT_EQ(cursor.TagEnd(17), text.size());  // never closed: the rest of the text
    using Range = PageScanCursor::Range;
    EXPECT_EQ(cursor.ValueAround(6, 8), Range(6, 9));
    EXPECT_EQ(cursor.ValueAround(8, 13), std::nullopt);  // runs out of the value
    EXPECT_EQ(cursor.ValueAround(13, 13), Range(13, 14));
    EXPECT_EQ(cursor.ValueAround(15, 15), std::nullopt);  // a name, not a value
}

std::vector<std::size_t> TagStarts(const PageTags& tags) {
    std::vector<std::size_t> starts;
    for (const PageTags::Tag& tag : tags.All())
        starts.push_back(tag.pos);
    return starts;
}

// The tags of the names asked for that a browser finds, with white space after the name.
TEST(PageTagsTest, ListsTheTagsOfTheNamesAskedFor) {
    const std::uint64_t keys[] = {PageTags::Key("a"), PageTags::Key("img")};
    const CursorCase cases[] = {
        {"<a href=x><A\thref=y><a><abbr t=1><img/><IMG src=z></a >", {0, 10, 39}},
        {"<script>'<a href=x>'</script><a title=\"<img src=y>\" >", {29}},
        {"<p t=\"<a href=x>\"><img\nsrc=y", {18}},  // never ends
        {"<!-- <a href=x> --><style><a href=y></style>", {5}},
    };
    for (const CursorCase& c : cases) {
        PageTags tags;
        tags.Read(c.text, keys);
        EXPECT_EQ(TagStarts(tags), c.tagStarts) << c.text;
    }
    EXPECT_EQ(PageTags::Key("IMG"), PageTags::Key("img"));
    EXPECT_NE(PageTags::Key("img"), PageTags::Key("im"));
    EXPECT_EQ(PageTags::Key("blockquote"), 0u);
}

// After rewrites of whole tags and of text inside values, the tags moved are the tags of the new
// text walked anew, ends, script marks and the needles known absent included.
TEST(PageTagsTest, MovedWithRewritesAsIfWalkedAnew) {
    struct Edit {
        std::size_t begin, end;
        std::string text;
    };
    struct Case {
        std::string text;
        std::vector<Edit> edits;  // in order, apart
    };
    const Case cases[] = {
        {"<a href=x><img src=y><a href=z>", {{0, 10, "<a href=\"local.html\">"}}},
        {"<a href=x><img src=y><a href=z>",
         {{10, 21, "<img src=\"p\">"}, {21, 31, "<a href=\"b.html\">"}}},
        {"<script src=s.js></script><img src=y style=\"u:url(a.png)\">",
         {{0, 17, "<script src=\"s.js\">"}, {46, 56, "url(a-long-name.png)"}}},
        {"text <img src=y> more <img alt='<a>' src=z>",
         {{0, 4, "longer text"}, {22, 43, "<img alt=\"<a>\" src=\"z\">"}}},
        {"<a href=x> <a href=y>", {{11, 21, "<a href=\"url(y\">"}}},
        {"<a title=\"ASE\" href=x><img src=y>", {{10, 10, "<b"}}},
    };
    const std::uint64_t keys[] = {PageTags::Key("a"), PageTags::Key("img"),
                                  PageTags::Key("script")};
    for (const Case& c : cases) {
        PageTags moved;
        moved.Read(c.text, keys);
        moved.FindMarks(c.text);
        moved.FindAbsent(c.text);
        std::string text = c.text;
        std::vector<RewrittenRange> pass;
        for (auto it = c.edits.rbegin(); it != c.edits.rend(); ++it)
            text.replace(it->begin, it->end - it->begin, it->text);
        for (const Edit& edit : c.edits)
            pass.push_back({edit.begin, edit.end, edit.text.size()});
        moved.Shift(pass);
        moved.ShiftMarks(pass);
        moved.KeepAbsent(text, pass);
        PageTags anew;
        anew.Read(text, keys);
        anew.FindMarks(text);
        anew.FindAbsent(text);
        for (const PageTags::Needle needle : {PageTags::kBaseTag, PageTags::kStyleUrl})
            EXPECT_EQ(moved.Absent(needle), anew.Absent(needle)) << text;
        ASSERT_EQ(moved.All().size(), anew.All().size()) << text;
        for (std::size_t i = 0; i < anew.All().size(); ++i) {
            EXPECT_EQ(moved.All()[i].pos, anew.All()[i].pos) << text;
            EXPECT_EQ(moved.All()[i].end, anew.All()[i].end) << text;
            EXPECT_EQ(moved.All()[i].key, anew.All()[i].key) << text;
        }
        EXPECT_EQ(moved.Opens(), anew.Opens()) << text;
        EXPECT_EQ(moved.Closes(), anew.Closes()) << text;
    }
}

}  // namespace
}  // namespace kov
