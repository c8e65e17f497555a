#include "content/html/needle_search.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace kov {
namespace {

// Every needle at every place of pages around the 16-byte rounds, with near misses (the first
// two bytes without the rest) before it, found where std::string_view::find finds it.
TEST(NeedleSearch, FindsWhatFindFindsAtEveryPlace) {
    const std::string needles[] = {"<a", "<img", "</script>", "<<"};
    for (const std::string& needle : needles) {
        const std::string miss =
            needle.size() > 2 ? needle.substr(0, 2) : needle.substr(0, 1) + "z";
        for (std::size_t size = 0; size <= 48; ++size) {
            for (std::size_t at = 0; at <= size; ++at) {
                std::string text(size, 'x');
                // A near miss every 5 bytes, then the needle itself (when it fits).
                for (std::size_t p = 0; p + 2 <= size; p += 5)
                    text.replace(p, 2, miss);
                if (at + needle.size() <= size) text.replace(at, needle.size(), needle);
                for (std::size_t from : {std::size_t{0}, at, at + 1, size, size + 3}) {
                    const std::string_view view = text;
                    ASSERT_EQ(FindNeedle(view, needle, from), view.find(needle, from))
                        << "needle " << needle << " size " << size << " at " << at << " from "
                        << from;
                }
            }
        }
    }
}

// A page is searched as bytes: high bytes and NULs are bytes like any other.
TEST(NeedleSearch, BytesOfAnyValue) {
    struct Case {
        std::string text, needle;
        std::size_t expected;
    } cases[] = {
        {std::string("\0\0<b\xff<br", 8), "<br", 5},
        {std::string(20, '\xff') + "<a", "<a", 20},
        {std::string(31, '<') + "<<", "<<", 0},
        {"<", "<a", std::string_view::npos},
        {"", "<a", std::string_view::npos},
        {"<scrapt " + std::string(20, ' ') + "<script", "<script", 28},  // ends alike
        {"abc", "c", 2},  // one byte: the plain search
    };
    for (const Case& c : cases)
        EXPECT_EQ(FindNeedle(c.text, c.needle), c.expected) << c.needle;
}

// Ignoring case, the search finds what a search of the text in lower case finds: letters of any
// case, other bytes only as they are (bit 5 makes '[' a '{' and '@' a '`').
TEST(NeedleSearch, NoCaseFindsWhatFindFindsInLowerCase) {
    const std::string needles[] = {"<script", "</script>", "url(", "<a", "x{"};
    for (const std::string& needle : needles) {
        std::string upper = needle;
        for (char& c : upper)
            c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        for (std::size_t size = 0; size <= 40; ++size) {
            for (std::size_t at = 0; at <= size; ++at) {
                std::string text(size, '@');
                for (std::size_t p = 1; p + 2 <= size; p += 7)
                    text.replace(p, 2, upper.substr(0, 2));
                if (at + needle.size() <= size)
                    text.replace(at, needle.size(), at % 2 ? upper : needle);
                std::string lower = text;
                for (char& c : lower)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
                for (std::size_t from : {std::size_t{0}, at, at + 1, size + 2}) {
                    ASSERT_EQ(FindNeedleNoCase(text, needle, from),
                              std::string_view(lower).find(needle, from))
                        << needle << " in " << text << " from " << from;
                }
            }
        }
    }
    EXPECT_EQ(FindNeedleNoCase(std::string(20, '[') + "x[", "x{"), std::string_view::npos);
    EXPECT_EQ(FindNeedleNoCase(std::string(20, '@') + "`", "`"), 20u);
    EXPECT_EQ(FindNeedleNoCase("abc", ""), 0u);
}

}  // namespace
}  // namespace kov
