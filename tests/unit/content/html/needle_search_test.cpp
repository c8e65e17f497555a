#include "content/html/needle_search.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace kov
