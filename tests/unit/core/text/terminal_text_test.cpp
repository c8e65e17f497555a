#include "core/text/terminal_text.h"

#include <gtest/gtest.h>

namespace kov {
namespace {

struct SafeCase {
    std::string_view text;
    std::string_view field;      // one line
    std::string_view multiLine;  // messages
};

TEST(TerminalTextTest, ControlCharactersNeverReachTheTerminal) {
    const SafeCase cases[] = {
        {"plain caf\xC3\xA9 \xE2\x82\xAC", "plain caf\xC3\xA9 \xE2\x82\xAC",
         "plain caf\xC3\xA9 \xE2\x82\xAC"},
        // Clear the screen, retitle the window, move the cursor, ring the bell.
        {"a\x1b[2Jb\x1b]0;pwned\x07", "a?[2Jb?]0;pwned?", "a?[2Jb?]0;pwned?"},
        {"tab\there\nnext\r\nend", "tab here next  end", "tab\there\nnext\nend"},
        {"over\rwrite", "over write", "over?write"},
        {"del\x7f", "del?", "del?"},
        // C1 controls as UTF-8 (U+009B is a one-byte CSI) and as bare bytes.
        {"c1\xC2\x9B"
         "2J",
         "c1?2J", "c1?2J"},
        {"raw\x9B"
         "2J",
         "raw\xEF\xBF\xBD"
         "2J",
         "raw\xEF\xBF\xBD"
         "2J"},
        // An overlong ESC, a surrogate, a cut sequence.
        {"\xC0\x9B|\xED\xA0\x80|\xE2\x82",
         "\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD",
         "\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD|\xEF\xBF\xBD\xEF\xBF\xBD"},
    };
    for (const SafeCase& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        EXPECT_EQ(TerminalSafe(c.text), c.field);
        EXPECT_EQ(TerminalSafe(c.text, true), c.multiLine);
    }
}

TEST(TerminalTextTest, JsonKeepsItsValueAndLayout) {
    // The library escapes below 0x20 inside strings; DEL and C1 it leaves raw.
    EXPECT_EQ(TerminalSafeJson("[\n  {\"name\": \"a\x7f\xC2\x9B\\u001b[2J\xC3\xA9\"}\n]"),
              "[\n  {\"name\": \"a\\u007f\\u009b\\u001b[2J\xC3\xA9\"}\n]");
}

}  // namespace
}  // namespace kov
