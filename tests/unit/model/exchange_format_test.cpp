#include "model/exchange_format.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>

namespace kov {
namespace {

constexpr std::time_t kNow = 1700000000;  // any fixed moment far from 1990 and 2005

// clang-format off
UrlItem PopulatedItem() {
    return UrlItem{.Name = "Daily news", .Url = "http://news.example.com/{YYYY}/{MM}/page[1..9].html",
                   .Dest = "/home/me/news/", .Cmd = "gzip -9 {FILE}",
                   .Referer = "http://news.example.com/", .days = 3, .dayShift = -2, .nfsize = 512,
                   .nfString = "Not Found", .ID = "1A2B-7F3C", .UpdateMode = kUpdateSkip,
                   .NumBased = 1, .CurrentNum = 7, .StopNumber = 42, .RipBanners = 1,
                   .Tolerance = 5, .Disabled = 1, .ClearFolder = 1, .WithPics = 1, .WithLinks = 1,
                   .EnableReplace = 0, .lastDL = ParseItemDate("2005.03.07", kNow),
                   .interval = -1, .ConType = 5, .UserPsw = "secret", .UserName = "me",
                   .Upload = 1, .UploadServer = "ftp.example.org:2121", .UploadFolder = "/pub/in",
                   .UploadLogin = "up", .UploadPassword = "uppw",
                   .rules = {{"", "<b>", "<strong>", 0, 1, 1},
                             {"", "<!--ad-->", "<!--/ad-->", 3, 0, 0}},
                   .DstDlActive = 1, .DstDlFileSize = 6000000000,
                   .DstDlPartCount = 4, .DstDlPartSize = 1500000000, .DstDlPartNo = 3,
                   .CEType = 10, .CEComeFrom = "friend@example.net", .NestedDepth = 2};
}
// clang-format on

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
              "<URLIST>\n<VERSION 1.0/>\n<URL>\nNAME:Daily news\nURID:1A2B-7F3C\n"
              "HREF:http://news.example.com/{YYYY}/{MM}/page[1..9].html\nDEST:/home/me/news/\n"
              "REFE:http://news.example.com/\nUCMD:gzip -9 {FILE}\nCTYP:5\nUPMD:2\nDAYS:3\n"
              "DSHF:-2\nDISA:1\nINTV:-1\nCETP:10\nCEFR:friend@example.net\nLAST:2005.03.07\n"
              "EREP:0\nRES1:<b>\nRES2:<strong>\nREIC:1\nREMU:1\nREAC:0\nRES1:<!--ad-->\n"
              "RES2:<!--/ad-->\nREIC:0\nREMU:0\nREAC:3\nNFSZ:512\nNFST:Not Found\nNUBZ:1\n"
              "NUCU:7\nNUST:42\nTOLE:5\nRBAN:1\nLINK:1\nNEST:2\nCFLD:1\nPICS:1\nUNAM:me\n"
              "UPSW:secret\nFUDO:1\nFUSR:ftp.example.org:2121\nFUFO:/pub/in\nFULO:up\n"
              "FUPW:uppw\nDDEN:1\nDDFS:6000000000\nDDPC:4\nDDPS:1500000000\nDDNO:3\n</URL>\n"
              "</URLIST>");

    std::ostringstream empty;
    ASSERT_TRUE(WriteBlock(empty, {}, kExchangeModeQuery));
    EXPECT_EQ(empty.str(), "<URLIST>\n<VERSION 1.0/>\n</URLIST>");
}

TEST(ExchangeWrite, ModeAndValuesDecideWhichTagsAppearAndHowAndFailuresAreReported) {
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

    // The unsigned fields were 32-bit words.
    item.Upload = -1;
    item.DstDlPartCount = -2;
    const std::string words = Written(item, kExchangeModeFull);
    EXPECT_TRUE(has(words, "FUDO:4294967295\nFUSR"));
    EXPECT_TRUE(has(words, "DDPC:4294967294\nDDPS"));
    EXPECT_EQ(ReadBlock(words, kNow).at(0).Upload, -1);

    std::ostringstream failed;
    failed.setstate(std::ios::badbit);
    EXPECT_FALSE(WriteItem(failed, item, kExchangeModeFull));
    EXPECT_FALSE(WriteBlock(failed, {item}, kExchangeModeFull));
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

TEST(ExchangeRoundTrip, FullModeKeepsEveryCarriedFieldAlsoThroughCrLfLineEnds) {
    const UrlItem original = PopulatedItem();
    std::ostringstream out;
    ASSERT_TRUE(WriteBlock(out, {original, FreshItem()}, kExchangeModeFull));
    // Mail gateways turn line feeds into CR LF.
    std::string crlf;
    for (char c : out.str())
        crlf += c == '\n' ? "\r\n" : std::string(1, c);
    for (const std::string& text : {out.str(), crlf}) {
        // The second item has an empty Url but still a "<URL>" line, so it is found.
        const std::vector<UrlItem> back = ReadBlock(text, kNow);
        ASSERT_EQ(back.size(), 2u);
        ExpectSameItem(back[0], original);
        EXPECT_EQ(back[0].lastDL, original.lastDL);  // the same moment, not just the same day
        ExpectSameItem(back[1], FreshItem());
    }
    // Only one CR belongs to the line end; others are part of the value.
    EXPECT_EQ(ReadBlock("<URL>\r\nNAME:a\r\r\n</URL>\r\n", kNow).at(0).Name, "a\r");
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

// The records of a block as "name@url" joined by ";".
std::string Records(std::string_view block) {
    std::string out;
    for (const UrlItem& item : ReadBlock(block, kNow))
        out += (out.empty() ? "" : ";") + item.Name + "@" + item.Url;
    return out;
}

TEST(ExchangeRead, RecordsStartAndEndOnTheDocumentedLinesAndTagsMatchInAnyCase) {
    const std::pair<const char*, const char*> cases[] = {
        {"<URLIST>\n<VERSION 1.0/>\n<URL>\nHREF:h1\n</URL>\n<url>\nNAME:b\n</url>\n</URLIST>",
         "@h1;b@"},
        // An HREF line alone makes a record; "</urlist>" in lower case does not end the reading,
        // and the record runs on to "</URL>".
        {"href:h\n</urlist>\nNAME:n\n</URL>", "n@h"},
        // "</URLIST" ends the reading even inside a record; what came before it counts.
        {"<URL>\nNAME:x\n</URLIST>\nNAME:y\n", "x@"},
        {"<URLIST>\n<URL>\n</URL>\n", "@"},
        // A record without "<URL>" or HREF is not found, and a block stops there.
        {"<URLIST>\nNAME:x\n</URL>\n<URL>\nHREF:y\n</URL>", ""},
        {"", ""},
        {"just some text\nwithout records", ""},
        {" <URL>\n<URL> \n</URL>", ""},  // not the record line
        // Tags in any case; lines that are no tag of the table are ignored.
        {"<URL>\nname:lower\nHrEf:h\nXTRA:x\nNAME\nNAME :spaced\nNA\n\nINTV:\n</Url> trailing",
         "lower@h"},
    };
    for (const auto& [block, records] : cases)
        EXPECT_EQ(Records(block), records) << block;

    // The reader continues where a record stopped.
    ExchangeReader reader("<URL>\nNAME:a\n</URL>\nNAME:next");
    UrlItem a = FreshItem(), rest = FreshItem();
    EXPECT_TRUE(reader.ReadItem(a, kNow));
    EXPECT_FALSE(reader.AtEnd());
    EXPECT_FALSE(reader.ReadItem(rest, kNow));
    EXPECT_EQ(rest.Name, "next");
    EXPECT_TRUE(reader.AtEnd());
}

TEST(ExchangeRead, TruncatedBlockKeepsWhatWasRead) {
    std::ostringstream out;
    ASSERT_TRUE(WriteBlock(out, {PopulatedItem()}, kExchangeModeFull));
    const std::string full = out.str();
    // The cut falls inside a value and after the second rule's lines.
    const std::vector<UrlItem> items = ReadBlock(full.substr(0, full.find("NFST:") + 7), kNow);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].rules.size(), 2u);
    EXPECT_EQ(items[0].nfString, "No");
    EXPECT_EQ(items[0].NestedDepth, 1);  // not reached: the fresh item's value
    EXPECT_EQ(ReadBlock(full.substr(0, full.find("REAC:3")), kNow).at(0).rules.size(), 1u);
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

// Blocks arrive from other installations and by mail: their numbers are brought into the
// same ranges as a list file's, so that no series or part plan built from them can overflow.
TEST(ExchangeRead, NumbersParseLenientlyAndAreBroughtIntoRange) {
    const std::vector<UrlItem> items = ReadBlock(
        "<URL>\nDAYS:12abc\nDSHF:-7\nINTV:x9\nNUCU:99999999999\n"
        "CTYP:65538\nFUDO:4294967295\nDDPC:99999999999\nDDFS:18446744073709551615\n"
        "LAST:2005.3.7\n</URL>\n"
        "<URL>\nCTYP:-32769\nDDFS:123456789012\nLAST:soon\n</URL>\n"
        "<URL>\nLAST:\n</URL>\n",
        kNow);
    ASSERT_EQ(items.size(), 3u);
    const UrlItem& a = items[0];
    const std::pair<std::int64_t, std::int64_t> cases[] = {
        {a.days, 12},
        {a.dayShift, -7},
        {a.interval, 0},
        {a.CurrentNum, 2147483646},  // the ranges are a list file's, tested there
        {a.ConType, 2},              // narrowed like the 16-bit field: 65538 - 65536
        {a.Upload, -1},
        {a.DstDlPartCount, 2},  // the saturated word reads back as -1: too few parts
        {a.DstDlFileSize, kMaxPartBytes},
        {items[1].ConType, 0},  // 32767 after narrowing: no such category
        {items[1].DstDlFileSize, 123456789012},
    };
    for (std::size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(cases[i].first, cases[i].second) << "case " << i;
    EXPECT_EQ(FormatItemDate(a.lastDL), "2005.03.01");
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
