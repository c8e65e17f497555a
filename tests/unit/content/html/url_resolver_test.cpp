#include "content/html/url_resolver.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <utility>

#include "net/http/inet.h"
#include "platform/file_util.h"

namespace kov {
namespace {

// The direct resolution of plain references gives what the client library gives.
TEST(UrlResolverTest, AgreesWithTheClientLibrary) {
    const char* bases[] = {"http://h.test/a/b/c.html", "https://h.test:8443/a/b/?q=1#f",
                           "http://h.test/", "http://H.test/x/y", "no base"};
    const char* references[] = {"d.html",
                                "./d.html",
                                "../d.html",
                                "../../../d.html",
                                "/d.html",
                                "d/../e/./f.html",
                                "?x=2",
                                "d.html?x=1#y",
                                ".",
                                "..",
                                "./",
                                "a//b/../c",
                                "/./a/.hidden",
                                "//o.test/x",
                                "http://o.test/x",
                                "https://o.test",
                                "https://o.test?q#f",
                                "https://o.test#f/../g",
                                "http://o.test/a/../b/./c/..?x=/../#y",
                                "http://o.test/..",
                                "https://docs.o-1.test/3/library/os.html#os.stat",
                                "http://127.1/x",
                                "http://0x7f.1/x",
                                "http://1.2.3.4/x",
                                "http://o.1e/x",
                                "http://o.test:80/x",
                                "http://o.test:0080/x",
                                "http://O.test/x",
                                "HTTP://o.test/x",
                                "http://u@o.test/x",
                                "http://o.test./x",
                                "http://-o.test/x",
                                "http://o..test/x",
                                "http://o.test/a b",
                                "http://o.test/%41",
                                "http://o.test/x:y",
                                "http:///x",
                                "http:/o.test/x",
                                "http:x.html",
                                "d e.html",
                                "d%20e.html",
                                "mailto:a@b",
                                "C:x"};
    for (const char* base : bases) {
        for (const char* reference : references) {
            EXPECT_EQ(ResolveUrl(base, reference), CombineUrl(base, reference))
                << base << " + " << reference;
        }
    }
    // A fragment alone stays on the page itself, as browsers read it.
    EXPECT_EQ(ResolveUrl("http://h.test/a/c.html?q#f", "#g"), "http://h.test/a/c.html?q#g");
}

// Every reference of a large documentation site, where one is installed, on each page's address.
TEST(UrlResolverTest, AgreesOnAWholeSite) {
    namespace fs = std::filesystem;
    const fs::path site = "/usr/share/doc/python3.11/html";
    std::error_code error;
    if (!fs::exists(site / "index.html", error)) GTEST_SKIP() << site << " missing";
    std::set<std::pair<std::string, std::string>> seen;  // (folder, reference)
    for (auto it = fs::recursive_directory_iterator(site, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
        if (it->path().extension() != ".html") continue;
        const std::string base =
            "http://127.0.0.1/py/" + fs::relative(it->path(), site).generic_string();
        const std::string folder = base.substr(0, base.rfind('/'));
        const std::string text = ReadFile(it->path().string()).value_or("");
        for (const std::string_view attribute : {"href=\"", "src=\""}) {
            for (std::size_t at = text.find(attribute); at != std::string::npos;
                 at = text.find(attribute, at + 1)) {
                const std::size_t start = at + attribute.size();
                const std::size_t end = text.find('"', start);
                if (end == std::string::npos) break;
                const std::string reference = text.substr(start, end - start);
                // A fragment alone is left out: it stays on the page (see above).
                if (reference.starts_with('#') || !seen.emplace(folder, reference).second) continue;
                ASSERT_EQ(ResolveUrl(base, reference), CombineUrl(base, reference))
                    << base << " + " << reference;
            }
        }
    }
    EXPECT_GT(seen.size(), 1000u);
}

}  // namespace
}  // namespace kov
