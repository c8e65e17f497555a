#include "content/html/link_memo.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/http/inet.h"

namespace kov {
namespace {

constexpr const char* kBase = "http://h.test/d/p.htm?q=1";

// Only where the fragment is appended as it stands does a link share what its part before the
// fragment came to.
TEST(LinkMemo, FragmentsAppendedAsTheyStand) {
    InternetGlobalInit();
    struct Case {
        const char* base;
        const char* reference;
        std::size_t expected;
    } cases[] = {
        {kBase, "a.htm#x", 5},
        {kBase, "../up/a.htm#x/y", 11},
        {kBase, "?r=2#x", 4},
        {kBase, "/abs#x", 4},
        {kBase, "#x", std::string::npos},         // the page itself, with the base's query
        {kBase, "a.htm", std::string::npos},      // no fragment
        {kBase, "a.htm#%41", std::string::npos},  // the library may decode or encode it
        {kBase, "a b.htm#x", std::string::npos},
        {kBase, "a.htm#x:y", std::string::npos},
        {kBase, "//o.test/a#x", std::string::npos},
        {kBase, "https://o.test/a/../b#x", 21},
        {kBase, "http://o.test#x", 13},
        {kBase, "http://127.1/a#x", std::string::npos},  // written anew by the library
        {kBase, "http://o.test:81/a#x", std::string::npos},
        {"http://H.test/d/", "a#x", std::string::npos},
        {"ftp://h.test/d/", "a#x", std::string::npos},
    };
    for (const Case& c : cases) {
        const std::size_t hash = FragmentAppends(c.base, c.reference);
        EXPECT_EQ(hash, c.expected) << c.reference;
        if (hash == std::string::npos) continue;
        const std::string_view reference = c.reference;
        EXPECT_EQ(ResolveUrl(c.base, reference), *ResolveUrl(c.base, reference.substr(0, hash)) +
                                                     std::string(reference.substr(hash)));
    }
}

// Links met in turn on one page: what is worked out again, and what each comes to.
TEST(LinkMemo, LinksWithOtherFragmentsAreWorkedOutOnce) {
    struct Step {
        const char* reference;
        std::size_t capacity;
        const char* made;  // what the work gives; nullptr: refused
        bool worked;       // the work was done for this link
        const char* expected;
    } steps[] = {
        {"a.htm#one", 100, "A#one", true, "A#one"},
        {"a.htm#two", 100, "-", false, "A#two"},
        {"b.htm#one", 100, nullptr, true, nullptr},
        {"b.htm#two", 100, "-", false, nullptr},  // refused for good
        // Refused for the length of its fragment: a shorter one is worked out again.
        {"c.htm#a-long-fragment", 30, nullptr, true, nullptr},
        {"c.htm#s", 30, "C#s", true, "C#s"},
        {"c.htm#a-long-fragment", 30, "-", false, nullptr},
    };
    LinkMemo memo;
    for (const Step& s : steps) {
        const std::string_view reference = s.reference;
        const std::size_t hash = reference.find('#');
        bool worked = false;
        const std::optional<std::string> result =
            Memoized(memo, std::string(reference.substr(0, hash)), kBase, reference, hash,
                     reference.substr(hash), s.capacity, [&]() -> std::optional<std::string> {
                         worked = true;
                         if (!s.made) return std::nullopt;
                         return std::string(s.made);
                     });
        EXPECT_EQ(worked, s.worked) << s.reference;
        EXPECT_EQ(result.value_or("<refused>"), s.expected ? s.expected : "<refused>")
            << s.reference;
    }
}

}  // namespace
}  // namespace kov
