#include "net/mail/mail_reply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kov {
namespace {

constexpr std::size_t kNone = std::string::npos;

// The end the reader finds when the text arrives in pieces of the given size.
std::size_t Pop3EndInPieces(std::string_view text, bool multiLine, std::size_t piece) {
    std::size_t searchFrom = 0;
    for (std::size_t have = piece;; have += piece) {
        const std::size_t stop =
            Pop3ReplyEnd(text.substr(0, std::min(have, text.size())), multiLine, searchFrom);
        if (stop != kNone || have >= text.size()) return stop;
    }
}

TEST(MailReplyTest, Pop3ReplyEndsWhereItsKindSaysHoweverItArrives) {
    const struct {
        const char* text;
        bool multiLine;
        std::size_t end;
    } cases[] = {
        {"+OK ready", false, kNone},           {"+OK ready\r\nrest", false, 11},
        {"-ERR no\r\n1 2\r\n.\r\n", true, 9},  // an error is one line even when more was asked
        {"+OK\r\n1 2\r\n.\r\n", true, 13},     {"+OK\r\n.\r\n", true, 8},
        {"+OK\r\n1 2\r\n..\r\n", true, kNone}, {"+ok 2\r\na\r\n.\r\nnext", true, 13},
    };
    for (const auto& c : cases) {
        for (const std::size_t piece : {1, 2, 3, 64})
            EXPECT_EQ(Pop3EndInPieces(c.text, c.multiLine, piece), c.end) << c.text << piece;
    }
}

TEST(MailReplyTest, Pop3NumbersAreReadInRangeAndListsUnstuffed) {
    long long first = 0;
    long long second = 0;
    EXPECT_TRUE(ParsePop3Pair(" 2 320", 1000000, first, second));
    EXPECT_EQ(first, 2);
    EXPECT_EQ(second, 320);
    for (const char* bad : {"1000001 5", "99999999999999999999 1", "-1 2", "3", "x 4", ""})
        EXPECT_FALSE(ParsePop3Pair(bad, 1000000, first, second)) << bad;

    const std::string body = Pop3Unstuff("+OK 2 messages\r\n1 100\r\n..3 7\r\n3 300\r\n.\r\n");
    EXPECT_EQ(body, "1 100\r\n.3 7\r\n3 300\r\n");
    EXPECT_EQ(ParsePop3Listing(body, 1000000), (std::vector<long long>{100, 0, 300}));
    EXPECT_EQ(Pop3Unstuff("+OK\r\n.\r\n"), "");
    EXPECT_EQ(Pop3Unstuff("+OK"), "");
}

TEST(MailReplyTest, SmtpReplyEndsWithItsFinalLineAndListsItsExtensions) {
    const struct {
        const char* text;
        std::size_t end;
    } cases[] = {
        {"250-mail\r\n250-SIZE 10\r\n", kNone},
        {"250-mail\r\n250 HELP\r\nnext", 20},
        {"220\r\n", 5},
        {"25\r\n220 x\r\n", 11},
    };
    for (const auto& c : cases)
        EXPECT_EQ(SmtpReplyEnd(c.text), c.end) << c.text;
    EXPECT_EQ(SmtpExtensions("250-mail\r\n250-auth login plain\r\n250-x\r\n250 HELP\r\n"),
              (std::vector<std::string>{"AUTH LOGIN PLAIN", "X", "HELP"}));
}

}  // namespace
}  // namespace kov
