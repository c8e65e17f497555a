#include "model/exchange_format.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace kov {
namespace {

constexpr std::time_t kNow = 1700000000;  // any fixed moment far from 1990 and 2005

UrlItem PopulatedItem() {
    UrlItem item = FreshItem();
    item.Name = "Daily news";
    item.ID = "1A2B-7F3C";
    item.Url = "http://news.example.com/{YYYY}/{MM}/page[1..9].html";
    item.Dest = "/home/me/news/";
    item.Cmd = "gzip -9 {FILE}";
    item.Referer = "http://news.example.com/";
    item.days = 3;
    item.dayShift = -2;
    item.nfsize = 512;
    item.nfString = "Not Found";
    item.UpdateMode = kUpdateSkip;
    item.NumBased = 1;
    item.CurrentNum = 7;
    item.StopNumber = 42;
    item.RipBanners = 1;
    item.Tolerance = 5;
    item.Disabled = 1;
    item.ClearFolder = 1;
    item.WithPics = 1;
    item.WithLinks = 1;
    item.EnableReplace = 0;
    item.lastDL = ParseItemDate("2005.03.07", kNow);
    item.interval = -1;
    item.ConType = 5;
    item.UserPsw = "secret";
    item.UserName = "me";
    item.Upload = 1;
    item.UploadServer = "ftp.example.org:2121";
    item.UploadFolder = "/pub/in";
    item.UploadLogin = "up";
    item.UploadPassword = "uppw";
    item.rules.push_back({"", "<b>", "<strong>", 0, 1, 1});
    item.rules.push_back({"", "<!--ad-->", "<!--/ad-->", 3, 0, 0});
    item.DstDlActive = 1;
    item.DstDlFileSize = 6000000000;  // beyond 32 bits
    item.DstDlPartCount = 4;
    item.DstDlPartSize = 1500000000;
    item.DstDlPartNo = 3;
    item.CEType = 10;
    item.CEComeFrom = "friend@example.net";
    item.NestedDepth = 2;
    return item;
}

std::string Written(const UrlItem& item, int mode) {
    std::ostringstream out;
    EXPECT_TRUE(WriteItem(out, item, mode));
    return out.str();
}

// The full mode carries every field but rule ids, and the writer's text is pinned down by the
// test below, so equal full-mode texts mean equal items.
void ExpectSameItem(const UrlItem& a, const UrlItem& b) {
    EXPECT_EQ(Written(a, kExchangeModeFull), Written(b, kExchangeModeFull));
}

// Other installations parse these blocks: the exact text is the contract.
TEST(ExchangeWrite, FullModeWritesEveryTagInTheDocumentedOrder) {
    std::ostringstream out;
    ASSERT_TRUE(WriteBlock(out, {PopulatedItem()}, kExchangeModeFull));
    EXPECT_EQ(out.str(),
              "<URLIST>\n"
              "<VERSION 1.0/>\n"
              "<URL>\n"
              "NAME:Daily news\n"
              "URID:1A2B-7F3C\n"
              "HREF:http://news.example.com/{YYYY}/{MM}/page[1..9].html\n"
              "DEST:/home/me/news/\n"
              "REFE:http://news.example.com/\n"
              "UCMD:gzip -9 {FILE}\n"
              "CTYP:5\n"
              "UPMD:2\n"
              "DAYS:3\n"
              "DSHF:-2\n"
              "DISA:1\n"
              "INTV:-1\n"
              "CETP:10\n"
              "CEFR:friend@example.net\n"
              "LAST:2005.03.07\n"
              "EREP:0\n"
              "RES1:<b>\n"
              "RES2:<strong>\n"
              "REIC:1\n"
              "REMU:1\n"
              "REAC:0\n"
              "RES1:<!--ad-->\n"
              "RES2:<!--/ad-->\n"
              "REIC:0\n"
              "REMU:0\n"
              "REAC:3\n"
              "NFSZ:512\n"
              "NFST:Not Found\n"
              "NUBZ:1\n"
              "NUCU:7\n"
              "NUST:42\n"
              "TOLE:5\n"
              "RBAN:1\n"
              "LINK:1\n"
              "NEST:2\n"
              "CFLD:1\n"
              "PICS:1\n"
              "UNAM:me\n"
              "UPSW:secret\n"
              "FUDO:1\n"
              "FUSR:ftp.example.org:2121\n"
              "FUFO:/pub/in\n"
              "FULO:up\n"
              "FUPW:uppw\n"
              "DDEN:1\n"
              "DDFS:6000000000\n"
              "DDPC:4\n"
              "DDPS:1500000000\n"
              "DDNO:3\n"
              "</URL>\n"
              "</URLIST>");

    std::ostringstream empty;
    ASSERT_TRUE(WriteBlock(empty, {}, kExchangeModeQuery));
    EXPECT_EQ(empty.str(), "<URLIST>\n<VERSION 1.0/>\n</URLIST>");
}

TEST(ExchangeWrite, ModeAndEmptinessDecideWhichTagsAppear) {
    UrlItem item = PopulatedItem();
    const auto has = [](const std::string& text, const char* tag) {
        return text.find(std::string("\n") + tag + ":") != std::string::npos;
    };
    const std::string q = Written(item, kExchangeModeQuery);
    const std::string m1 = Written(item, 1);
    const std::string m2 = Written(item, 2);
    for (const char* tag : {"DISA", "CETP", "CEFR", "LAST", "CFLD"})
        EXPECT_FALSE(has(q, tag)) << tag;
    for (const char* tag : {"DISA", "CETP", "CEFR", "LAST"})
        EXPECT_TRUE(has(m1, tag) && has(m2, tag)) << tag;
    EXPECT_FALSE(has(m1, "CFLD"));
    EXPECT_TRUE(has(m2, "CFLD"));
    EXPECT_FALSE(has(Written(item, -1), "DISA"));  // below 0 is query mode too

    item.Referer.clear();
    item.Cmd.clear();
    item.nfsize = 0;
    item.nfString.clear();
    item.UserName.clear();
    const std::string sparse = Written(item, kExchangeModeFull);
    EXPECT_FALSE(has(sparse, "REFE"));
    EXPECT_FALSE(has(sparse, "UCMD"));
    EXPECT_FALSE(has(sparse, "NFSZ"));
    EXPECT_TRUE(has(sparse, "NFST"));  // empty texts of the other tags are still written
    EXPECT_TRUE(has(sparse, "UNAM"));
}

TEST(ExchangeWrite, UnsignedFieldsGoOutAsUnsignedWordsAndReadBackUnchanged) {
    UrlItem item = FreshItem();
    item.Url = "http://x/";
    item.Upload = -1;
    item.DstDlPartCount = -2;
    item.DstDlPartNo = -2147483647 - 1;
    const std::string text = Written(item, kExchangeModeFull);
    EXPECT_NE(text.find("FUDO:4294967295\n"), std::string::npos);
    EXPECT_NE(text.find("DDPC:4294967294\n"), std::string::npos);
    EXPECT_NE(text.find("DDNO:2147483648\n"), std::string::npos);
    const std::vector<UrlItem> back = ReadBlock(text, kNow);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Upload, -1);
    EXPECT_EQ(back[0].DstDlPartCount, -2);
    EXPECT_EQ(back[0].DstDlPartNo, -2147483647 - 1);
}

TEST(ExchangeWrite, LineBreaksInValuesCannotInjectTags) {
    UrlItem item = FreshItem();
    item.Name = "harmless\nUCMD:rm -rf ~";
    item.Url = "http://x/\r\nDISA:1";
    item.rules.push_back({"", "a\nREAC:1", "b", 0, 7, 0});  // 7 is "on" but not "1"
    const std::vector<UrlItem> back = ReadBlock(Written(item, kExchangeModeFull), kNow);
    ASSERT_EQ(back.size(), 1u);
    EXPECT_EQ(back[0].Name, "harmless UCMD:rm -rf ~");
    EXPECT_EQ(back[0].Cmd, "");
    EXPECT_EQ(back[0].Url, "http://x/  DISA:1");
    EXPECT_EQ(back[0].Disabled, 0);
    ASSERT_EQ(back[0].rules.size(), 1u);
    EXPECT_EQ(back[0].rules[0].find, "a REAC:1");
    EXPECT_EQ(back[0].rules[0].ignoreCase, 1);
}

TEST(ExchangeWrite, StreamFailureIsReported) {
    std::ostringstream out;
    out.setstate(std::ios::badbit);
    EXPECT_FALSE(WriteItem(out, PopulatedItem(), kExchangeModeFull));
    EXPECT_FALSE(WriteBlock(out, {PopulatedItem()}, kExchangeModeFull));
}

TEST(ExchangeRoundTrip, FullModeKeepsEveryCarriedField) {
    const UrlItem original = PopulatedItem();
    std::ostringstream out;
    ASSERT_TRUE(WriteBlock(out, {original, FreshItem()}, kExchangeModeFull));
    // The second item has an empty Url but still a "<URL>" line, so it is found.
    const std::vector<UrlItem> back = ReadBlock(out.str(), kNow);
    ASSERT_EQ(back.size(), 2u);
    ExpectSameItem(back[0], original);
    EXPECT_EQ(back[0].lastDL, original.lastDL);  // the same moment, not just the same day
    EXPECT_EQ(back[0].DstDlFileSize, 6000000000);
    ExpectSameItem(back[1], FreshItem());
}

TEST(ExchangeRoundTrip, QueryModeLeavesLocalStateToTheReader) {
    UrlItem reader = FreshItem();
    reader.ClearFolder = 1;
    reader.lastDL = kNow;
    const std::string text = Written(PopulatedItem(), kExchangeModeQuery);
    ExchangeReader in(text);
    ASSERT_TRUE(in.ReadItem(reader, kNow));
    EXPECT_EQ(reader.Disabled, 0);
    EXPECT_EQ(reader.CEType, 0);
    EXPECT_EQ(reader.CEComeFrom, "");
    EXPECT_EQ(reader.ClearFolder, 1);
    EXPECT_EQ(reader.lastDL, DefaultLastDownload());
    EXPECT_EQ(reader.Url, PopulatedItem().Url);
    EXPECT_EQ(reader.rules.size(), 2u);
}

TEST(ExchangeRead, RecordsStartAndEndOnTheDocumentedLines) {
    const std::string two =
        "<URLIST>\n<VERSION 1.0/>\n<URL>\nHREF:http://a/\n</URL>\n"
        "<url>\nNAME:b\n</url>\n</URLIST>";
    ExchangeReader reader(two);
    UrlItem a = FreshItem(), b = FreshItem(), c = FreshItem();
    EXPECT_TRUE(reader.ReadItem(a, kNow));
    EXPECT_TRUE(reader.ReadItem(b, kNow));
    EXPECT_FALSE(reader.ReadItem(c, kNow));
    EXPECT_TRUE(reader.AtEnd());
    EXPECT_EQ(a.Url, "http://a/");
    EXPECT_EQ(b.Name, "b");
    EXPECT_EQ(b.Url, "");

    // An HREF line alone makes a record; "</urlist>" in lower case does not end the reading,
    // and the record runs on to "</URL>".
    const std::vector<UrlItem> bare = ReadBlock("href:http://h/\n</urlist>\nNAME:n\n</URL>", kNow);
    ASSERT_EQ(bare.size(), 1u);
    EXPECT_EQ(bare[0].Url, "http://h/");
    EXPECT_EQ(bare[0].Name, "n");

    // "</URLIST" ends the reading even inside a record; what came before it counts.
    const std::vector<UrlItem> cut = ReadBlock("<URL>\nNAME:x\n</URLIST>\nNAME:y\n", kNow);
    ASSERT_EQ(cut.size(), 1u);
    EXPECT_EQ(cut[0].Name, "x");

    // A record without "<URL>" or HREF is not found, and a block stops at the first such call.
    EXPECT_TRUE(ReadBlock("<URLIST>\n<URL>\n</URL>\n", kNow).size() == 1);
    EXPECT_TRUE(ReadBlock("<URLIST>\nNAME:x\n</URL>\n<URL>\nHREF:y\n</URL>", kNow).empty());
    EXPECT_TRUE(ReadBlock("", kNow).empty());
    EXPECT_TRUE(ExchangeReader("").AtEnd());
    EXPECT_TRUE(ReadBlock("just some text\nwithout records", kNow).empty());
    // " <URL>" and "<URL> " are not the record line.
    EXPECT_TRUE(ReadBlock(" <URL>\n<URL> \n</URL>", kNow).empty());
}

TEST(ExchangeRead, TruncatedBlockKeepsWhatWasRead) {
    std::ostringstream out;
    WriteBlock(out, {PopulatedItem()}, kExchangeModeFull);
    const std::string full = out.str();
    const std::size_t cut = full.find("NFST:");
    ASSERT_NE(cut, std::string::npos);
    // The cut falls inside a value and inside the second rule's lines.
    const std::vector<UrlItem> items = ReadBlock(full.substr(0, cut + 7), kNow);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].Url, PopulatedItem().Url);
    EXPECT_EQ(items[0].rules.size(), 2u);
    EXPECT_EQ(items[0].nfString, "No");
    EXPECT_EQ(items[0].NestedDepth, 1);  // not reached: the fresh item's value

    const std::size_t inRule = full.find("REAC:3");
    EXPECT_EQ(ReadBlock(full.substr(0, inRule), kNow).at(0).rules.size(), 1u);
}

TEST(ExchangeRead, TagsMatchInAnyCaseAndUnknownLinesAreIgnored) {
    UrlItem item = FreshItem();
    item.Dest = "/kept/";
    ExchangeReader reader(
        "<URL>\n"
        "name:lower\n"
        "HrEf:http://x/\n"
        "XTRA:whatever\n"
        "NAME\n"          // no colon: not a tag
        "NAME :spaced\n"  // not the five characters of a tag
        "NA\n"
        "\n"
        "INTV:\n"
        "</Url> trailing text\n"
        "NAME:next");
    ASSERT_TRUE(reader.ReadItem(item, kNow));
    EXPECT_EQ(item.Name, "lower");
    EXPECT_EQ(item.Url, "http://x/");
    EXPECT_EQ(item.Dest, "/kept/");
    EXPECT_EQ(item.interval, 0);
    EXPECT_FALSE(reader.AtEnd());
    UrlItem rest = FreshItem();
    EXPECT_FALSE(reader.ReadItem(rest, kNow));
    EXPECT_EQ(rest.Name, "next");  // the reader continues where the record stopped
}

TEST(ExchangeRead, CarriageReturnsBeforeLineFeedsAreDropped) {
    std::ostringstream out;
    WriteBlock(out, {PopulatedItem()}, kExchangeModeFull);
    std::string crlf;
    for (char c : out.str()) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    const std::vector<UrlItem> items = ReadBlock(crlf, kNow);
    ASSERT_EQ(items.size(), 1u);
    ExpectSameItem(items[0], PopulatedItem());
    // Only one CR belongs to the line end; others are part of the value.
    EXPECT_EQ(ReadBlock("<URL>\r\nNAME:a\r\r\n</URL>\r\n", kNow).at(0).Name, "a\r");
}

TEST(ExchangeRead, RulesCountOnlyWhenTheirActionComes) {
    std::vector<UrlItem> items = ReadBlock(
        "<URL>\nRES1:f\nRES2:r\nREIC:1\nREMU:1\n</URL>\n"
        "<URL>\nRES1:only\nREAC:2\n</URL>\n"
        "<URL>\nRES1:a\nRES2:b\nREIC:2\nREMU:10\nREAC:1\nRES1:c\nREAC:x\n</URL>\n",
        kNow);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_TRUE(items[0].rules.empty());
    ASSERT_EQ(items[1].rules.size(), 1u);
    EXPECT_EQ(items[1].rules[0].find, "only");
    EXPECT_EQ(items[1].rules[0].replace, "");
    EXPECT_EQ(items[1].rules[0].action, 2);
    ASSERT_EQ(items[2].rules.size(), 2u);
    EXPECT_EQ(items[2].rules[0].ignoreCase, 0);  // "2" is not on
    EXPECT_EQ(items[2].rules[0].multiple, 1);    // "10" starts with "1"
    EXPECT_EQ(items[2].rules[1].find, "c");
    EXPECT_EQ(items[2].rules[1].replace, "");  // nothing carried over from the first rule
    EXPECT_EQ(items[2].rules[1].action, 0);

    // Far more rules than a list file keeps, up to the reader's safety cap.
    std::string many = "<URL>\n";
    for (std::size_t i = 0; i < kExchangeMaxRules + 50; ++i)
        many += "RES1:r" + std::to_string(i) + "\nREAC:0\n";
    many += "</URL>";
    items = ReadBlock(many, kNow);
    ASSERT_EQ(items.size(), 1u);
    ASSERT_EQ(items[0].rules.size(), kExchangeMaxRules);
    EXPECT_EQ(items[0].rules.back().find, "r" + std::to_string(kExchangeMaxRules - 1));
}

TEST(ExchangeRead, NumbersAndDatesParseLeniently) {
    const std::vector<UrlItem> items = ReadBlock(
        "<URL>\n"
        "DAYS:12abc\n"
        "DSHF:-7\n"
        "INTV:x9\n"
        "NUCU:99999999999\n"
        "NUST:-99999999999\n"
        "CTYP:65541\n"  // narrowed like the 16-bit field: 65541 - 65536
        "FUDO:4294967295\n"
        "DDPC:99999999999\n"
        "DDNO:-5\n"
        "DDFS:18446744073709551615\n"
        "DDPS:-5\n"
        "LAST:2005.3.7\n"
        "</URL>\n"
        "<URL>\nCTYP:-32769\nFUDO:99999999999999999999\nDDNO:-99999999999999999999\nDDFS:"
        "123456789012\nLAST:soon\n</URL>\n"
        "<URL>\nLAST:\n</URL>\n",
        kNow);
    ASSERT_EQ(items.size(), 3u);
    EXPECT_EQ(items[0].days, 12);
    EXPECT_EQ(items[0].dayShift, -7);
    EXPECT_EQ(items[0].interval, 0);
    EXPECT_EQ(items[0].CurrentNum, 2147483647);
    EXPECT_EQ(items[0].StopNumber, -2147483647 - 1);
    EXPECT_EQ(items[0].ConType, 5);
    EXPECT_EQ(items[0].Upload, -1);
    EXPECT_EQ(items[0].DstDlPartCount, -1);  // saturated at the word's top
    EXPECT_EQ(items[0].DstDlPartNo, -5);
    EXPECT_EQ(items[0].DstDlFileSize, 9223372036854775807);
    EXPECT_EQ(items[0].DstDlPartSize, 0);  // a negative size means nothing
    EXPECT_EQ(FormatItemDate(items[0].lastDL), "2005.03.01");
    EXPECT_EQ(items[1].ConType, 32767);
    EXPECT_EQ(items[1].Upload, -1);                    // far beyond the word: its top
    EXPECT_EQ(items[1].DstDlPartNo, -2147483647 - 1);  // far below: the bottom
    EXPECT_EQ(items[1].DstDlFileSize, 123456789012);
    EXPECT_EQ(items[1].lastDL, kNow);
    EXPECT_EQ(items[2].lastDL, DefaultLastDownload());  // as in list files: empty is no date
}

TEST(ExchangeRead, LongValuesAreCutToCapacityOnCharacterBoundaries) {
    const std::string huge(1 << 20, 'u');
    // 78 ASCII bytes and a two-byte letter: 80 bytes, one more than a name holds.
    const std::string name = std::string(78, 'n') + "\xD0\x96";
    const std::string block = "<URL>\nHREF:" + huge + "\nNAME:" + name +
                              "\nURID:" + std::string(29, 'i') + "\xE2\x82\xAC" + "\nRES1:" + huge +
                              "\nRES2:\xF0\x9F\x98\x80" + "\nREAC:0\nUNAM:" + huge +
                              "\nFUPW:" + huge + "\nCEFR:" + huge + "\nNFST:" + huge + "\n</URL>";
    const std::vector<UrlItem> items = ReadBlock(block, kNow);
    ASSERT_EQ(items.size(), 1u);
    const UrlItem& item = items[0];
    EXPECT_EQ(item.Url.size(), UrlItem::kUrlCapacity);
    EXPECT_EQ(item.Name, std::string(78, 'n'));
    EXPECT_EQ(item.ID, std::string(29, 'i'));
    EXPECT_EQ(item.rules.at(0).find.size(), ReplaceRule::kTextCapacity);
    EXPECT_EQ(item.rules.at(0).replace, "\xF0\x9F\x98\x80");
    EXPECT_EQ(item.UserName.size(), UrlItem::kUserCapacity);
    EXPECT_EQ(item.UploadPassword.size(), UrlItem::kUploadLoginCapacity);
    EXPECT_EQ(item.CEComeFrom.size(), UrlItem::kCeComeFromCapacity);
    EXPECT_EQ(item.nfString.size(), UrlItem::kNfStringCapacity);

    // A value exactly at capacity, multibyte letters included, is kept whole.
    const std::string exact = std::string(77, 'n') + "\xD0\x96";
    EXPECT_EQ(ReadBlock("<URL>\nNAME:" + exact + "\n", kNow).at(0).Name, exact);
}

}  // namespace
}  // namespace kov
