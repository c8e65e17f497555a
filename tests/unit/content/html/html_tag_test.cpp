#include "content/html/html_tag.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kov {
namespace {

// "name=value" per attribute ("name" alone when valueless), and "/" last when self-closing.
std::vector<std::string> Reading(const HtmlTag& tag) {
    std::vector<std::string> out;
    for (const TagAttribute& a : tag.attributes)
        out.push_back(a.valueless ? a.name : a.name + "=" + a.value);
    if (tag.selfClosing) out.push_back("/");
    return out;
}

// A tag written back reads as the tag that was read, however odd its names and values.
TEST(HtmlTagTest, WrittenTagsReadBackTheSame) {
    const char* tags[] = {
        "<img src=a.gif>",
        "<img a/ >",
        "<img x=1 a/ >",
        "<img a/ />",
        "<img t='say \"hi\"' u=\"it's\">",
        "<img t='both \" and &quot;' v=x>",
        "<img \"q=1 'r>",
        "<img =x y = z>",
        "<img srcset //=\"a.png 2x\">",
    };
    for (const char* text : tags) {
        HtmlTag read;
        ASSERT_NE(read.Read(text, 0, "img"), 0u) << text;
        const std::string written = read.Write();
        HtmlTag again;
        EXPECT_EQ(again.Read(written, 0, "img"), written.size()) << written;
        EXPECT_EQ(Reading(again), Reading(read)) << text << " -> " << written;
    }
}

}  // namespace
}  // namespace kov
