#include "web_control/page_files.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gtest/gtest.h>

#include "support/temp_dir.h"
#include "web_control/listen_socket.h"

namespace kov {
namespace {

TEST(PageFilesTest, ReadsRegularFilesOfItsFolderOnly) {
    test::TempDir dir;
    const std::string folder = dir.File("web");
    ASSERT_EQ(::mkdir(folder.c_str(), 0700), 0);
    ASSERT_EQ(::mkdir((folder + "/sub.js").c_str(), 0700), 0);
    std::ofstream(folder + "/app.js") << "let x = 1;";
    std::ofstream(dir.File("secret")) << "token";
    const PageFiles page(folder);
    const auto app = page.Read("app.js");
    ASSERT_TRUE(app.has_value());
    EXPECT_EQ(app->body, "let x = 1;");
    EXPECT_EQ(app->contentType, "text/javascript; charset=utf-8");
    for (const char* refused : {"sub.js", "../secret", "missing.css", ""}) {
        SCOPED_TRACE(refused);
        EXPECT_FALSE(page.Read(refused).has_value());
    }
    EXPECT_FALSE(PageFiles("").Read("app.js").has_value()) << "no folder, no page";
}

TEST(PageFilesTest, NamesTheTypeByTheEnding) {
    struct Case {
        const char* name;
        const char* type;
    } const cases[] = {
        {"index.html", "text/html; charset=utf-8"},
        {"app.js", "text/javascript; charset=utf-8"},
        {"style.css", "text/css; charset=utf-8"},
        {"logo.svg", "image/svg+xml"},
        {"icon.png", "image/png"},
        {"favicon.ico", "image/x-icon"},
        {"app.js.map", "application/octet-stream"},
        {"README", "application/octet-stream"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(PageFiles::ContentTypeOf(c.name), c.type) << c.name;
}

TEST(ListenSocketTest, BindsWhatItIsGivenAndSaysWhyNot) {
    struct Case {
        const char* address;
        bool opens;
        bool ipv6;
        bool loopback;
    } const cases[] = {
        {"127.0.0.1", true, false, true},   {"localhost", true, false, true},
        {"::1", true, true, true},          {"[::1]", true, true, true},
        {"192.0.2.1", false, false, false}, {"not an address!", false, false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.address);
        ListenSocket socket = ListenSocket::Open(c.address, 0);
        EXPECT_EQ(socket.fd >= 0, c.opens) << socket.error;
        EXPECT_EQ(IsLoopbackAddress(c.address), c.loopback);
        if (socket.fd < 0) {
            EXPECT_NE(socket.error.find(c.address), std::string::npos);
            continue;
        }
        EXPECT_EQ(socket.ipv6, c.ipv6);
        EXPECT_GT(socket.port, 0);
        ::close(socket.fd);
    }
}

}  // namespace
}  // namespace kov
