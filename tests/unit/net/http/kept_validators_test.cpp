#include "net/http/kept_validators.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/xattr.h>
#include <unistd.h>

#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

using Copy = KeptValidators::Copy;

class KeptValidatorsTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteFileAtomic(path, "content", 0644));
        ASSERT_TRUE(SetFileTimes(path, 1700000001, 1700000001));
        if (!KeepValidators(path, kept)) GTEST_SKIP() << "no extended attributes here";
    }

    test::TempDir dir;
    const std::string path = dir.File("page.html");
    const KeptValidators kept{"\"5f-1\"", "Tue, 14 Nov 2023 22:13:21 GMT", true, Copy::Rewritten};
};

TEST_F(KeptValidatorsTest, KeptWithTheCopyTheyDescribe) {
    // Kept through the open file, with the times set the same way, as a download does.
    const int fd = ::open(path.c_str(), O_RDWR);
    ASSERT_GE(fd, 0);
    ::removexattr(path.c_str(), "user.kov.validators");
    EXPECT_TRUE(SetFileTimes(fd, 1700000001, 1700000001));
    EXPECT_TRUE(KeepValidators(fd, kept));
    ::close(fd);
    const std::optional<KeptValidators> read = ReadKeptValidators(path);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->etag, kept.etag);
    EXPECT_EQ(read->lastModified, kept.lastModified);
    EXPECT_TRUE(read->html);
    EXPECT_EQ(read->copy, Copy::Rewritten);
    EXPECT_EQ(ConditionalHeaders(*read),
              "If-None-Match: \"5f-1\"\nIf-Modified-Since: Tue, 14 Nov 2023 22:13:21 GMT");
    // Kept with the time and size the writer knows: they must be the file's own to count.
    const struct {
        std::time_t time;
        std::int64_t size;
        bool valid;
    } known[] = {{1700000001, 7, true}, {1700000002, 7, false}, {1700000001, 8, false}};
    for (const auto& k : known) {
        const int again = ::open(path.c_str(), O_RDWR);
        ASSERT_GE(again, 0);
        EXPECT_TRUE(KeepValidators(again, kept, k.time, k.size));
        ::close(again);
        EXPECT_EQ(ReadKeptValidators(path).has_value(), k.valid) << k.time << " " << k.size;
    }
}

// The date goes back out exactly as the server sent it, whatever form it came in; the preferred
// form is kept short enough to stay in the inode beside a typical ETag.
TEST_F(KeptValidatorsTest, DatesComeBackAsSent) {
    struct Case {
        const char* sent;
        const char* read;
    } cases[] = {
        {"Tue, 14 Nov 2023 22:13:21 GMT", "Tue, 14 Nov 2023 22:13:21 GMT"},
        {"Thu, 01 Jan 1970 00:00:00 GMT", "Thu, 01 Jan 1970 00:00:00 GMT"},
        {"Sunday, 06-Nov-94 08:49:37 GMT", "Sunday, 06-Nov-94 08:49:37 GMT"},
        {"Sun Nov  6 08:49:37 1994", "Sun Nov  6 08:49:37 1994"},
        {"Tue, 14 Nov 2023 22:13:21 +0000", "Tue, 14 Nov 2023 22:13:21 +0000"},
        {"tue, 14 nov 2023 22:13:21 GMT", "tue, 14 nov 2023 22:13:21 GMT"},
        {"@1700000000", ""},  // would come back as another text: not kept
        {"@99999999999999999999", "@99999999999999999999"},
    };
    for (const Case& c : cases) {
        const KeptValidators sent{"\"6553f6a1-1c4\"", c.sent, false, Copy::Delivered};
        ASSERT_TRUE(KeepValidators(path, sent)) << c.sent;
        const std::optional<KeptValidators> read = ReadKeptValidators(path);
        ASSERT_TRUE(read) << c.sent;
        EXPECT_EQ(read->lastModified, c.read) << c.sent;
    }
    ASSERT_TRUE(KeepValidators(path, {"\"6553f6a1-1c4\"", "Tue, 14 Nov 2023 22:13:21 GMT"}));
    char value[256];
    EXPECT_LE(::getxattr(path.c_str(), "user.kov.validators", value, sizeof value), 56);
    // Kept by an earlier version, with the date as sent.
    const std::string earlier = "1700000001 7 d 0\n\"a\"\nTue, 14 Nov 2023 22:13:21 GMT";
    ::setxattr(path.c_str(), "user.kov.validators", earlier.data(), earlier.size(), 0);
    ASSERT_TRUE(ReadKeptValidators(path));
    EXPECT_EQ(ReadKeptValidators(path)->lastModified, "Tue, 14 Nov 2023 22:13:21 GMT");
}

// A copy that changed since is no longer the one its validators describe.
TEST_F(KeptValidatorsTest, StaleOnceTheCopyChanges) {
    struct Case {
        const char* what;
        void (*change)(const std::string& path);
    } cases[] = {
        {"time", [](const std::string& p) { SetFileTimes(p, 1700000003, 1700000003); }},
        {"size",
         [](const std::string& p) {
             const int fd = ::open(p.c_str(), O_WRONLY | O_APPEND);
             WriteAll(fd, "more");
             ::close(fd);
             SetFileTimes(p, 1700000001, 1700000001);
         }},
        {"written anew", [](const std::string& p) { WriteFileAtomic(p, "content", 0644); }},
        {"marked unfinished",
         [](const std::string& p) {
             const int fd = ::open(p.c_str(), O_RDWR);
             MarkIncomplete(fd);
             ::close(fd);
         }},
        {"dropped by name", [](const std::string& p) { DropKeptValidators(p); }},
        {"not ours",
         [](const std::string& p) {
             ::setxattr(p.c_str(), "user.kov.validators", "1700000001 7 x 1\na\nb", 20, 0);
         }},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(WriteFileAtomic(path, "content", 0644));
        ASSERT_TRUE(SetFileTimes(path, 1700000001, 1700000001));
        ASSERT_TRUE(KeepValidators(path, kept));
        c.change(path);
        EXPECT_FALSE(ReadKeptValidators(path)) << c.what;
    }
}

TEST(KeptValidators, ReadFromAResponse) {
    struct Case {
        const char* headers;
        const char* etag;
        const char* lastModified;
        const char* request;
    } cases[] = {
        {"HTTP/1.1 200 OK\r\nETag: \"abc\"\r\nLast-Modified: Sun, 06 Nov 1994 08:49:37 GMT\r\n",
         "\"abc\"", "Sun, 06 Nov 1994 08:49:37 GMT",
         "If-None-Match: \"abc\"\nIf-Modified-Since: Sun, 06 Nov 1994 08:49:37 GMT"},
        {"HTTP/1.1 200 OK\r\netag:   W/\"weak\"  \r\n", "W/\"weak\"", "",
         "If-None-Match: W/\"weak\""},
        {"HTTP/1.1 200 OK\r\nX-ETag: no\r\nContent-Type: text/html\r\n", "", "", ""},
    };
    for (const Case& c : cases) {
        const KeptValidators v = ValidatorsOfResponse(c.headers);
        EXPECT_EQ(v.etag, c.etag) << c.headers;
        EXPECT_EQ(v.lastModified, c.lastModified) << c.headers;
        EXPECT_EQ(ConditionalHeaders(v), c.request) << c.headers;
    }
    test::TempDir dir;
    ASSERT_TRUE(WriteFileAtomic(dir.File("f"), "x", 0644));
    EXPECT_FALSE(KeepValidators(dir.File("f"), KeptValidators{}));  // nothing to keep
    EXPECT_FALSE(KeepValidators(dir.File("missing"), ValidatorsOfResponse(cases[0].headers)));
}

}  // namespace
}  // namespace kov
