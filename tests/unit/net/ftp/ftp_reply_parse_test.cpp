#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "net/ftp/ftp_client.h"
#include "net/ftp/ftp_fetch.h"

namespace kov {
namespace {

TEST(FtpPassiveReply, ReadsAddressAndPort) {
    std::string address;
    int port = 0;
    ASSERT_TRUE(FtpClient::ParsePassiveReply("227 Entering Passive Mode (10,0,0,5,19,137).",
                                             address, port));
    EXPECT_EQ(address, "10.0.0.5");
    EXPECT_EQ(port, 5001);
    // Blanks around the numbers are tolerated.
    ASSERT_TRUE(FtpClient::ParsePassiveReply("227 ok ( 127, 0, 0, 1, 4, 1 )", address, port));
    EXPECT_EQ(address, "127.0.0.1");
    EXPECT_EQ(port, 1025);

    // No parenthesis, too few numbers, numbers out of range, port 0.
    for (const char* bad :
         {"227 Entering Passive Mode 127,0,0,1,4,1", "227 (300,1,2)", "227 (1,2,3,4,5)",
          "227 (1,2,3,4,256,1)", "227 (1,2,3,4,0,0)", "227 (1,2,3,4,99999999999,1)", "227 ("}) {
        EXPECT_FALSE(FtpClient::ParsePassiveReply(bad, address, port)) << bad;
    }
}

TEST(FtpPassiveReply, ReadsExtendedPort) {
    int port = 0;
    ASSERT_TRUE(FtpClient::ParseExtendedPassiveReply("229 Extended Passive (|||40001|)", port));
    EXPECT_EQ(port, 40001);
    ASSERT_TRUE(FtpClient::ParseExtendedPassiveReply("229 ok (!!!21!)", port));
    EXPECT_EQ(port, 21);
    for (const char* bad : {"229 (|||0|)", "229 (|||70000|)", "229 (||40001|)", "229 (|||x|)",
                            "229 40001", "229 (|||12"}) {
        EXPECT_FALSE(FtpClient::ParseExtendedPassiveReply(bad, port)) << bad;
    }
}

TEST(FtpListLine, ReadsUnixAndDosLayouts) {
    FtpEntry e;
    ASSERT_TRUE(FtpClient::ParseListLine(
        "-rw-r--r--    1 0        0         5368709120 Nov 06  1994 big file.bin", e));
    EXPECT_EQ(e.name, "big file.bin");  // blanks inside a name are kept
    EXPECT_EQ(e.size, 5368709120u);     // sizes beyond 4 GiB
    EXPECT_FALSE(e.isFolder);

    ASSERT_TRUE(FtpClient::ParseListLine("drwxr-xr-x 2 ftp ftp 4096 Dec 06 22:33 pub", e));
    EXPECT_EQ(e.name, "pub");
    EXPECT_TRUE(e.isFolder);

    ASSERT_TRUE(
        FtpClient::ParseListLine("lrwxrwxrwx 1 0 0 7 Jan 01 2020 latest -> v1.2.tar.gz", e));
    EXPECT_EQ(e.name, "latest");

    ASSERT_TRUE(FtpClient::ParseListLine("12-06-26  10:00PM               1234 report.pdf", e));
    EXPECT_EQ(e.name, "report.pdf");
    EXPECT_EQ(e.size, 1234u);
    ASSERT_TRUE(FtpClient::ParseListLine("12-06-26  10:00PM       <DIR>          old", e));
    EXPECT_TRUE(e.isFolder);

    for (const char* bad : {"total 12", "", "   ", "-rw-r--r-- 1 0 0 abc Nov 06 1994 x",
                            "-rw-r--r-- 1 0 0 12 Nov 06 1994", "hello world this is not a list"}) {
        EXPECT_FALSE(FtpClient::ParseListLine(bad, e)) << bad;
    }
}

TEST(FtpEntryTime, IsUtc) {
    FtpEntry e;
    EXPECT_EQ(EntryTime(e), 0);
    std::tie(e.year, e.month, e.day, e.hour, e.minute, e.second) =
        std::tuple(1994, 11, 6, 8, 49, 37);
    EXPECT_EQ(EntryTime(e), 784111777);
}

}  // namespace
}  // namespace kov
