#include "session/update_check.h"

#include <gtest/gtest.h>

namespace kov {
namespace {

TEST(ProgramInfoFile, IsReadStrictly) {
    const std::string good = "[OTHER]\nBuild=9\nURL=http://x/y\n[KOV]\nVersion=2.1 beta\n";
    struct Case {
        std::string text;
        bool httpsOnly;
        int result;
        std::uint32_t build;
        const char* why;  // part of the reason given; "" for success
    };
    const Case cases[] = {
        {good + "Build=300\nURL=http://h.example/kov/setup.exe\n", false, kInfoOk, 300, ""},
        {"; comment\r\n[kov]\r\n build = 7 \r\nURL=ftp://h/setup.tar.gz\r\n", false, kInfoOk, 7,
         ""},
        {good + "URL=http://h/setup.exe\n", false, kInfoUnusable, 0, "no Build"},
        {good + "Build=300\n", false, kInfoUnusable, 0, "no URL"},
        {good + "Build=3x\nURL=http://h/s\n", false, kInfoUnusable, 0, "not a number"},
        {good + "Build=4294967296\nURL=http://h/s\n", false, kInfoUnusable, 0, "not a number"},
        {good + "Build=1\nBuild=2\nURL=http://h/s\n", false, kInfoUnusable, 0, "repeats"},
        {good + "[KOV]\nBuild=1\nURL=http://h/s\n", false, kInfoUnusable, 0, "repeats"},
        {good + "Build=1\nURL=http://h/s\x01\n", false, kInfoUnusable, 0, "control"},
        {good + "Build=1\njunk\nURL=http://h/s\n", false, kInfoUnusable, 0, "key=value"},
        {"[KOV]\nVersion=1.0.0.0.0.0.0.0.0\nBuild=1\nURL=http://h/s\n", false, kInfoUnusable, 0,
         "Version"},
        {good + "Build=1\nURL=" + std::string(300, 'a') + "\n", false, kInfoUnusable, 0,
         "too long"},
        {std::string(kMaxInfoSize + 1, ';'), false, kInfoUnusable, 0, "larger"},
    };
    for (const Case& c : cases) {
        ProgramInfo info;
        std::string why;
        EXPECT_EQ(ParseProgramInfo(c.text, c.httpsOnly, info, why), c.result) << c.text;
        EXPECT_EQ(info.Build, c.build) << c.text;
        EXPECT_NE(why.find(c.why), std::string::npos) << why;
        EXPECT_EQ(info.URL.empty(), c.result != kInfoOk);
    }
}

TEST(ProgramInfoFile, InstallerAddressStaysAPlainFileOfAWebOrFtpServer) {
    struct Case {
        const char* url;
        bool httpsOnly;
        bool accepted;
    };
    const Case cases[] = {
        {"https://h.example/kov/setup-1.2.exe", true, true},
        {"http://h.example/kov/setup.exe", true, false},  // EnableHttps: https only
        {"ftp://h.example/pub/kov.tgz", true, false},
        {"http://h.example/kov/setup.exe", false, true},
        {"ftp://h.example/pub/kov.tgz", false, true},
        {"https://h.example/kov/setup.exe", false, false},  // https is off
        {"file:///etc/passwd", false, false},
        {"javascript:alert(1)", false, false},
        {"http://h.example/../../etc/cron.d/x", false, false},
        {"http://h.example/a/%2e%2e/%2E%2E/x", false, false},
        {"http://h.example/a%2Fb", false, false},
        {"http://h.example/a%5c..%5cb", false, false},
        {"http://h.example/dir/", false, false},  // names no file
        {"http://h.example", false, false},
        {"http://h.example/{APPFOLDER}x", false, false},  // no macros
        {"http://h.example/a b.exe", false, false},
        {"http://h.example/a\\b.exe", false, false},
        {"http://h.example/setup.exe?x=1", false, false},
        {"ftp://h.example/pub/kov.tgz:", false, false},  // the local name would be empty
        {"http://h.example/a%3Ab.exe", false, false},
    };
    for (const Case& c : cases) {
        ProgramInfo info;
        std::string why;
        const std::string text = std::string("[KOV]\nBuild=5\nURL=") + c.url + "\n";
        EXPECT_EQ(ParseProgramInfo(text, c.httpsOnly, info, why) == kInfoOk, c.accepted)
            << c.url << ": " << why;
    }
}

}  // namespace
}  // namespace kov
