#include "mail_control/seen_messages.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>
#include <string>

#include "mail_control/local_network_url.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

TEST(SeenMessages, KeysSurviveARestartAndTheOldestAreForgotten) {
    test::TempDir dir;
    const std::string path = dir.File(kSeenMessagesFile);
    {
        SeenMessages seen(path, 3);
        ASSERT_TRUE(seen.Load());  // no file yet
        for (const char* key : {"<a@x>", "b@x", "c@x\r\nd@x", "e@x", "b@x"})
            seen.Add(key);
        EXPECT_EQ(seen.Size(), 3u);
        ASSERT_TRUE(seen.Save());
    }
    SeenMessages seen(path, 3);
    ASSERT_TRUE(seen.Load());
    EXPECT_FALSE(seen.Contains("<a@x>"));
    EXPECT_TRUE(seen.Contains("b@x"));
    // A key with a line break stays one key.
    EXPECT_TRUE(seen.Contains("c@xd@x"));
    EXPECT_FALSE(seen.Contains("d@x"));
    EXPECT_EQ(dir.Read(kSeenMessagesFile), "b@x\nc@xd@x\ne@x\n");
}

TEST(SeenMessages, UnreadableFileIsNeverOverwritten) {
    test::TempDir dir;
    const std::string path = dir.File(kSeenMessagesFile);
    ASSERT_EQ(mkdir(path.c_str(), 0700), 0);  // exists, cannot be read as a file
    SeenMessages seen(path);
    EXPECT_FALSE(seen.Load());
    seen.Add("x");
    EXPECT_FALSE(seen.Save());
}

TEST(SeenMessages, MessagesWithoutIdAreKeyedByContent) {
    MailText a;
    a.from = "f";
    a.subject = "s";
    a.body = "b";
    MailText b = a;
    EXPECT_EQ(SeenMessages::KeyOf(a), SeenMessages::KeyOf(b));
    b.body = "c";
    EXPECT_NE(SeenMessages::KeyOf(a), SeenMessages::KeyOf(b));
    a.messageId = " <id@x> ";
    EXPECT_EQ(SeenMessages::KeyOf(a), "id@x");
}

TEST(LocalNetworkUrl, OnlyInternetHostsOverWebSchemesAreRemote) {
    const struct {
        const char* url;
        bool remote;
    } cases[] = {
        // clang-format off
        {"http://93.184.216.34/a", true},  {"ftp://8.8.8.8/pub/", true},
        {"http://[2001:4860::8888]/", true}, {"http://172.32.0.1/", true},
        {"file:///etc/passwd", false},     {"no scheme", false},
        {"http://127.0.0.1/", false},      {"http://0x7f.1/", false},
        {"http://2130706433/", false},     {"http://0.0.0.0/", false},
        {"http://10.1.2.3/", false},       {"http://172.16.0.1/", false},
        {"http://192.168.0.1/", false},    {"http://169.254.169.254/", false},
        {"http://100.64.0.1/", false},     {"http://[::1]/", false},
        {"http://[fe80::1]/", false},      {"http://[fd00::1]/", false},
        {"http://[::ffff:192.168.0.1]/", false}, {"http://localhost/", false},
        {"http://LOCALHOST./", false},     {"http://nas/", false},
        {"http://printer.local/", false},  {"http://{SITE}/", false},
        {"http://www%d.example.com/", false},
        // clang-format on
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsRemoteUrl(c.url), c.remote) << c.url;
}

}  // namespace
}  // namespace kov
