#include "core/profile_store.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <climits>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/prompter.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

namespace fs = std::filesystem;

void WriteFile(const std::string& path, std::string_view text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

unsigned Mode(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? (st.st_mode & 0777) : 0;
}

std::string Rep(char c, std::size_t n) {
    return std::string(n, c);
}

// The first line where two texts differ, printable (the texts may be large and binary).
std::string FirstDifferentLine(const std::string& a, const std::string& b) {
    std::istringstream ia(a), ib(b);
    std::string la, lb;
    for (int n = 1;; ++n) {
        const bool moreA = static_cast<bool>(std::getline(ia, la));
        const bool moreB = static_cast<bool>(std::getline(ib, lb));
        if (!moreA && !moreB) return "no difference";
        if (la != lb || moreA != moreB)
            return "line " + std::to_string(n) + ": " + ::testing::PrintToString(la) + " vs " +
                   ::testing::PrintToString(lb);
    }
}

class ProfileStoreTest : public ::testing::Test {
protected:
    // Writes text into a file of the temp folder and opens it.
    std::string OpenText(ProfileStore& store, std::string_view text,
                         std::string_view name = "t.ini") {
        std::string path = dir.File(name);
        WriteFile(path, text);
        EXPECT_TRUE(store.Open(path));
        return path;
    }

    test::TempDir dir;
    test::RecordingPrompter prompter;
};

TEST_F(ProfileStoreTest, MissingFileOpensEmptyAndFlushCreatesPrivateFile) {
    ProfileStore store(&prompter);
    const std::string path = dir.File("new.ini");
    ASSERT_TRUE(store.Open(path));
    EXPECT_TRUE(store.IsOpen());
    EXPECT_FALSE(store.IsDirty());
    EXPECT_EQ(store.Path(), path);
    EXPECT_EQ(store.GetString("Main", "key", "dflt"), "dflt");
    EXPECT_FALSE(fs::exists(path));

    EXPECT_TRUE(store.WriteString("Main", "key", "value"));
    EXPECT_TRUE(store.IsDirty());
    ASSERT_TRUE(store.Flush());
    EXPECT_FALSE(store.IsDirty());
    EXPECT_EQ(ReadFile(path), "[Main]\nkey=value\n");
    EXPECT_EQ(Mode(path), 0600u);

    // Rewriting a readable file makes it private too, and leaves no temporary behind.
    const std::string other = dir.File("other.ini");
    WriteFile(other, "[A]\na=1\n");
    chmod(other.c_str(), 0644);
    ASSERT_TRUE(store.Open(other));
    store.WriteInt("A", "a", 2);
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(ReadFile(other), "[A]\na=2\n");
    EXPECT_EQ(Mode(other), 0600u);
    EXPECT_EQ(FilesIn(dir.path()), (std::vector<std::string>{"new.ini", "other.ini"}));
    EXPECT_TRUE(prompter.informed.empty());
}

TEST_F(ProfileStoreTest, StoresWithoutAFileRefuseWrites) {
    ProfileStore never(&prompter);
    EXPECT_FALSE(never.WriteString("S", "k", "v"));
    EXPECT_FALSE(never.WriteInt("S", "k", 1));
    EXPECT_FALSE(never.WriteDateTime("S", "k", CalendarTime{2005, 3, 7, 1, 2, 3, 0}));
    EXPECT_FALSE(never.IsDirty());
    EXPECT_EQ(never.GetString("S", "k", "d"), "d");
    EXPECT_EQ(never.GetInt("S", "k", 7), 7);
    EXPECT_FALSE(never.Flush());

    ProfileStore store(&prompter);
    OpenText(store, "[S]\nk=1\n");
    EXPECT_FALSE(store.Open(""));
    EXPECT_EQ(store.GetString("S", "k", "d"), "d");
    EXPECT_FALSE(store.Flush());

    ProfileStore named(&prompter);
    OpenText(named, "[S]\nk=1\n");
    EXPECT_FALSE(named.WriteString("", "k", "v"));
    EXPECT_FALSE(named.WriteString("S", "", "v"));
    EXPECT_FALSE(named.WriteInt("", "k", 1));
    EXPECT_FALSE(named.IsDirty());
    EXPECT_EQ(named.Serialize(), "[S]\nk=1\n");

    ProfileStore text(&prompter);
    text.LoadText("[S]\nk=1\n");
    EXPECT_EQ(text.GetString("S", "k"), "1");
    EXPECT_FALSE(text.Flush());
}

TEST_F(ProfileStoreTest, HeadersAndKeysAreTrimmed) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[ item 1 ] old\n"
             "  key one  =  value one  \n"
             "\tTabbed\t=\tv\t\n"
             "url=http://host/?a=b\n"
             "empty=\n"
             "#hash=1\n"
             ";semi=2\n"
             "[noclose\n"
             "x = 1\n"
             "  [Indented]\n"
             "y=2\n");
    EXPECT_EQ(store.GetString("item 1", "key one"), "value one");
    EXPECT_EQ(store.GetString("item 1", "Tabbed"), "v");
    EXPECT_EQ(store.GetString("item 1", "url"), "http://host/?a=b");
    EXPECT_EQ(store.GetString("item 1", "empty", "d"), "");
    EXPECT_EQ(store.GetString("item 1", "#hash", "d"), "d");
    EXPECT_EQ(store.GetString("item 1", ";semi", "d"), "d");
    EXPECT_EQ(store.GetString("noclose", "x"), "1");
    EXPECT_EQ(store.GetString("Indented", "y"), "2");
    EXPECT_EQ(store.Serialize(),
              "[item 1]\nkey one=value one\nTabbed=v\nurl=http://host/?a=b\nempty=\n#hash=1\n"
              ";semi=2\n[noclose]\nx=1\n[Indented]\ny=2\n");
}

TEST_F(ProfileStoreTest, NamesIgnoreCaseAndDuplicatesOnlyFirstIsSeen) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[Settings]\nLastDL=5\nk=first\nk=second\n[B]\nb=1\n[SETTINGS]\nLastDL=6\nonly=3\n");
    EXPECT_EQ(store.GetString("settings", "lastdl"), "5");
    EXPECT_EQ(store.GetInt("SETTINGS", "LASTDL", 0), 5);
    EXPECT_EQ(store.GetString("Settings", "k"), "first");
    EXPECT_EQ(store.GetString("Settings", "only", "d"), "d");

    store.WriteString("SETTINGS", "lastDL", "7");  // keeps the key as it was spelt
    store.WriteString("settings", "k", "changed");
    store.WriteString("Settings", "only", "4");  // new key for the first of the two
    EXPECT_EQ(store.GetString("settings", "ONLY"), "4");
    EXPECT_EQ(store.Serialize(),
              "[Settings]\nLastDL=7\nk=changed\nk=second\nonly=4\n[B]\nb=1\n"
              "[SETTINGS]\nLastDL=6\nonly=3\n");
}

TEST_F(ProfileStoreTest, EmptyKeysAreReportedOnEachLookupPassingThem) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[Other]\n=zero\n[S]\nbefore=1\n=first\nmiddle=2\n  = second\nafter=3\n"
             "[T]\nt=1\n[s]\n=dup\nz=9\n");
    const std::string msg = ProfileStore::kEmptyKeyMessage;
    auto messagesFor = [&](auto&& lookup) {
        prompter.Reset();
        lookup();
        EXPECT_EQ(prompter.InformCount(msg), prompter.informed.size());
        return prompter.informed.size();
    };
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("S", "before"), "1"); }), 0u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("S", "middle"), "2"); }), 1u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("s", "AFTER"), "3"); }), 2u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("S", "missing", "d"), "d"); }), 2u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("S", "z", "d"), "d"); }), 2u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetInt("S", "after", 0), 3); }), 2u);
    EXPECT_EQ(messagesFor([&] { store.GetDateTime("S", "nope", 2000); }), 2u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("S", "", "d"), "d"); }), 0u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("T", "t"), "1"); }), 0u);
    EXPECT_EQ(messagesFor([&] { store.GetString("Other", "x"); }), 1u);
    EXPECT_EQ(messagesFor([&] { store.GetString("Nowhere", "x"); }), 0u);
    store.WriteString("S", "added", "4");
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("S", "added"), "4"); }), 2u);
    EXPECT_EQ(messagesFor([&] { EXPECT_EQ(store.GetString("S", "before"), "1"); }), 0u);
    EXPECT_TRUE(prompter.asked.empty());
    EXPECT_EQ(store.Serialize(),
              "[Other]\n=zero\n[S]\nbefore=1\n=first\nmiddle=2\n=second\nafter=3\nadded=4\n"
              "[T]\nt=1\n[s]\n=dup\nz=9\n");

    // Without a prompter of its own the store reports to the default one.
    test::RecordingPrompter fallback;
    SetDefaultPrompter(&fallback);
    {
        ProfileStore plain;
        plain.LoadText("[S]\n=x\nk=1\n");
        plain.GetString("S", "k");
    }
    SetDefaultPrompter(nullptr);
    EXPECT_EQ(fallback.informed, std::vector<std::string>{msg});
}

TEST_F(ProfileStoreTest, RewriteKeepsNonKeyLinesInPlace) {
    ProfileStore store(&prompter);
    const std::string path = OpenText(store,
                                      "; top comment\n\n[A]\na=1\n\n; about B\n[B]\n"
                                      "; inside B before keys\nb=1\nnot a key line\n"
                                      "   # indented hash\n[Gone]\n[C]\nc=1\ntrailing\n");
    const std::string expected =
        "; top comment\n\n[A]\na=1\n\n; about B\n; inside B before keys\n[B]\nb=1\n"
        "not a key line\n   # indented hash\n[C]\nc=1\ntrailing\n";
    EXPECT_EQ(store.Serialize(), expected);
    store.WriteString("C", "c", "1");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(ReadFile(path), expected);
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(store.Serialize(), expected);
}

TEST_F(ProfileStoreTest, NewKeysGoAfterTheLastLinesOfTheirSection) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[A]\na=1\n; trailing A\n[B]\n; lead B\nb=1\n; trailing B\n\n[Mid]\n; mid\n"
             "[C]\nc=1\n; end\n");
    store.WriteString("A", "new", "x");
    store.WriteString("B", "nb", "y");
    store.WriteString("Mid", "m", "1");
    store.WriteString("C", "nc", "z");
    store.WriteString("D", "d", "w");
    store.WriteString("a", "new2", "v");
    store.WriteInt("b", "b", -12);
    EXPECT_EQ(store.Serialize(),
              "[A]\na=1\n; trailing A\n; lead B\nnew=x\nnew2=v\n[B]\nb=-12\n; trailing B\n\n"
              "; mid\nnb=y\n[Mid]\nm=1\n[C]\nc=1\n; end\nnc=z\n[D]\nd=w\n");
    const std::vector<std::array<const char*, 3>> all = {
        {"A", "a", "1"},   {"A", "new", "x"}, {"A", "new2", "v"},
        {"B", "b", "-12"}, {"B", "nb", "y"},  {"Mid", "m", "1"},
        {"C", "c", "1"},   {"C", "nc", "z"},  {"D", "d", "w"}};
    for (const auto& [s, k, v] : all)
        EXPECT_EQ(store.GetString(s, k, "?"), v) << s << "." << k;
    EXPECT_TRUE(prompter.informed.empty());
}

TEST_F(ProfileStoreTest, OverlongTextIsCutOnUtf8Boundaries) {
    ProfileStore store(&prompter);
    const std::string longKey = Rep('k', 70), longSection = Rep('s', 80);
    OpenText(store, "[S]\nv600=" + Rep('v', 600) + "\nutf=" + Rep('x', 510) + "é\n" + longKey +
                        "=1\n" + Rep('q', 62) + "€=2\n; " + Rep('c', 600) + "\n[" + longSection +
                        "]\nin=3\n[" + Rep('t', 66) + "é]\nin=4\n");
    EXPECT_EQ(store.GetString("S", "v600", "", 1000), Rep('v', 511));
    EXPECT_EQ(store.GetString("S", "utf", "", 1000), Rep('x', 510));
    EXPECT_EQ(store.GetString("S", longKey.substr(0, 63)), "1");
    EXPECT_EQ(store.GetString("S", Rep('q', 62)), "2");
    EXPECT_EQ(store.GetString(longSection.substr(0, 67), "in"), "3");
    EXPECT_EQ(store.GetString(Rep('t', 66), "in"), "4");
    EXPECT_NE(store.Serialize().find("\n; " + Rep('c', 509) + "\n"), std::string::npos);

    store.WriteString("S", "v600", Rep('w', 600));
    EXPECT_EQ(store.GetString("S", "v600", "", 1000), Rep('w', 500));
    store.WriteString("S", "utf", Rep('y', 499) + "é");
    EXPECT_EQ(store.GetString("S", "utf", "", 1000), Rep('y', 499));
    store.WriteString("S", "fresh", Rep('f', 600));
    EXPECT_EQ(store.GetString("S", "fresh", "", 1000), Rep('f', 511));

    // The caller's size: 0 means 128; defaults are cut the same way.
    EXPECT_EQ(store.GetString("S", "v600"), Rep('w', 127));
    EXPECT_EQ(store.GetString("S", "v600", "", 5), "wwww");
    EXPECT_EQ(store.GetString("S", "missing", Rep('d', 300)), Rep('d', 127));
    EXPECT_EQ(store.GetString("S", "missing", "aé", 3), "a");
}

TEST_F(ProfileStoreTest, CutTextKeepsNoTrailingBlanks) {
    // What a load keeps must load again unchanged: a cut may not leave blanks, tabs or
    // carriage returns at the end of a name or value, as the next load would drop them.
    ProfileStore store(&prompter);
    OpenText(store, "[" + Rep('s', 66) + " tail]\n" + Rep('k', 62) + " \tx=1\nv=" + Rep('x', 510) +
                        " y\ncr=1\r \r\n");
    EXPECT_EQ(store.GetString(Rep('s', 66), Rep('k', 62)), "1");
    EXPECT_EQ(store.GetString(Rep('s', 66), "v", "", 1000), Rep('x', 510));
    EXPECT_EQ(store.GetString(Rep('s', 66), "cr"), "1");
    const std::string once = store.Serialize();
    ProfileStore again(&prompter);
    again.LoadText(once);
    EXPECT_EQ(again.Serialize(), once);
}

TEST_F(ProfileStoreTest, LongLinesAreReadInPieces) {
    // "exact" is 1023 bytes: one line. "long" runs past 1023 bytes, so "tail=2" is a piece
    // of its own; in "utf" and "eur" a multibyte character would straddle byte 1023.
    const std::string text = "[S]\nexact=" + Rep('a', 1017) + "\nnext=1\nlong=" + Rep('b', 1018) +
                             "tail=2\nutf=" + Rep('c', 1018) + "étwo=3\neur=" + Rep('d', 1017) +
                             "€three=4\n";
    const std::string expected = "[S]\nexact=" + Rep('a', 511) + "\nnext=1\nlong=" + Rep('b', 511) +
                                 "\ntail=2\nutf=" + Rep('c', 511) +
                                 "\nétwo=3\neur=" + Rep('d', 511) + "\n€three=4\n";
    ProfileStore store(&prompter);
    OpenText(store, text);
    EXPECT_EQ(store.GetString("S", "next"), "1");
    EXPECT_EQ(store.GetString("S", "tail"), "2");
    EXPECT_EQ(store.GetString("S", "étwo"), "3");
    EXPECT_EQ(store.GetString("S", "€three"), "4");
    EXPECT_EQ(store.Serialize(), expected);

    ProfileStore fromText(&prompter);
    fromText.LoadText(text);
    EXPECT_EQ(fromText.Serialize(), expected);
}

TEST_F(ProfileStoreTest, CrlfNulAndBinaryJunkLoadSafely) {
    ProfileStore store(&prompter);
    OpenText(store, "[S]\r\na = 1 \r\nb=2\r\r\n; c\r\n\r\n[T]\r\nt=3\r\n");
    EXPECT_EQ(store.GetString("S", "a"), "1");
    EXPECT_EQ(store.GetString("S", "b"), "2");
    EXPECT_EQ(store.Serialize(), "[S]\na=1\nb=2\n; c\n\n[T]\nt=3\n");

    using namespace std::string_literals;
    const std::string withNul = "[S]\na=1\0junk=5\nb=2\n[T\0]x\nt=1\n"s;
    OpenText(store, withNul, "nul.ini");
    EXPECT_EQ(store.GetString("S", "a"), "1");
    EXPECT_EQ(store.GetString("S", "junk", "d"), "d");
    EXPECT_EQ(store.GetString("T", "t"), "1");
    EXPECT_EQ(store.Serialize(), "[S]\na=1\nb=2\n[T]\nt=1\n");

    std::mt19937 random(12345);
    std::string junk;
    for (int i = 0; i < 100000; ++i) {
        const char c = static_cast<char>(random() % 256);
        junk += c;
        if (random() % 40 == 0) junk += "\n[]= \r\t;#"[random() % 9];
    }
    const std::string path = OpenText(store, junk, "junk.ini");
    EXPECT_TRUE(store.WriteString("S", "k", "v"));
    const std::string written = store.Serialize();
    ASSERT_TRUE(store.Flush());
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(store.GetString("S", "k"), "v");
    EXPECT_TRUE(store.Serialize() == written) << FirstDifferentLine(written, store.Serialize());
    ProfileStore again(&prompter);
    again.LoadText(written);
    EXPECT_TRUE(again.Serialize() == written) << FirstDifferentLine(written, again.Serialize());
}

TEST_F(ProfileStoreTest, GetIntReadsLikeAtoi) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[N]\nmixed=12abc\nletters=abc\nneg= -42\nplus=+7\nempty=\nbig=2147483648\n"
             "small=-99999999999\nhex=0x10\n");
    EXPECT_EQ(store.GetInt("N", "mixed", -1), 12);
    EXPECT_EQ(store.GetInt("N", "letters", -1), 0);
    EXPECT_EQ(store.GetInt("N", "neg", -1), -42);
    EXPECT_EQ(store.GetInt("N", "plus", -1), 7);
    EXPECT_EQ(store.GetInt("N", "empty", -1), 0);
    EXPECT_EQ(store.GetInt("N", "big", -1), INT32_MAX);
    EXPECT_EQ(store.GetInt("N", "small", -1), INT32_MIN);
    EXPECT_EQ(store.GetInt("N", "hex", -1), 0);
    EXPECT_EQ(store.GetInt("N", "missing", -5), -5);
    EXPECT_TRUE(store.WriteInt("N", "min", INT32_MIN));
    EXPECT_EQ(store.GetString("N", "min"), "-2147483648");
    EXPECT_EQ(store.GetInt("N", "min", 0), INT32_MIN);
}

TEST_F(ProfileStoreTest, DateTimesUseFixedPositions) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[D]\nfull=2005.03.07 14:05:09\nmonth=2005.03\nletters=abc\nshort=200\n"
             "hour=2005.03.07 14:0\nnosec=2005.03.07 14:05:0\nbadmonth=2005.xx.07\n");
    auto parts = [&](std::string_view key) {
        const CalendarTime c = store.GetDateTime("D", key, 1999);
        return std::vector<int>{c.year, c.month, c.day, c.hour, c.minute, c.second};
    };
    EXPECT_EQ(parts("full"), (std::vector<int>{2005, 3, 7, 14, 5, 9}));
    EXPECT_EQ(parts("month"), (std::vector<int>{2005, 3, 1, 0, 0, 0}));
    EXPECT_EQ(parts("letters"), (std::vector<int>{1999, 1, 1, 0, 0, 0}));
    EXPECT_EQ(parts("short"), (std::vector<int>{1999, 1, 1, 0, 0, 0}));
    EXPECT_EQ(parts("missing"), (std::vector<int>{1999, 1, 1, 0, 0, 0}));
    EXPECT_EQ(parts("hour"), (std::vector<int>{2005, 3, 7, 14, 0, 0}));
    EXPECT_EQ(parts("nosec"), (std::vector<int>{2005, 3, 7, 14, 5, 0}));
    EXPECT_EQ(parts("badmonth"), (std::vector<int>{2005, 1, 7, 0, 0, 0}));

    EXPECT_TRUE(store.WriteDateTime("D", "written", CalendarTime{2024, 1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(store.GetString("D", "written"), "2024.01.02 03:04:05");
    EXPECT_EQ(parts("written"), (std::vector<int>{2024, 1, 2, 3, 4, 5}));
}

TEST_F(ProfileStoreTest, NumberedKeysAppendTheNumber) {
    EXPECT_EQ(ProfileStore::NumberedKey("s_find", 3), "s_find3");
    EXPECT_EQ(ProfileStore::NumberedKey("k", 0), "k0");
    EXPECT_EQ(ProfileStore::NumberedKey("x", 4294967296LL), "x4294967296");
}

TEST_F(ProfileStoreTest, ClearKeepsTheLinesBeforeTheFirstKey) {
    ProfileStore store(&prompter);
    const std::string path = OpenText(store, "; one\n; two\n[S]\na=1\n; mid\n[T]\nb=2\n");
    store.Clear();
    EXPECT_TRUE(store.IsDirty());
    EXPECT_EQ(store.Serialize(), "; one\n; two\n");
    EXPECT_EQ(store.GetString("S", "a", "d"), "d");
    store.WriteString("S", "a", "3");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(ReadFile(path), "; one\n; two\n[S]\na=3\n");

    OpenText(store, "; one\n[S]\n; two\na=1\n", "second.ini");
    store.Clear();
    EXPECT_EQ(store.Serialize(), "; one\n; two\n");
}

TEST_F(ProfileStoreTest, DirtyStoreIsWrittenBeforeItIsLeft) {
    const std::string first = dir.File("first.ini"), second = dir.File("second.ini");
    WriteFile(second, "[B]\nb=2\n");
    {
        ProfileStore store(&prompter);
        OpenText(store, "[A]\na=1\n", "first.ini");
        store.WriteString("A", "a", "9");
        ASSERT_TRUE(store.Open(second));
        EXPECT_EQ(ReadFile(first), "[A]\na=9\n");
        EXPECT_FALSE(store.IsDirty());
        EXPECT_EQ(store.GetString("A", "a", "d"), "d");
        EXPECT_EQ(store.GetString("B", "b"), "2");

        // A clean store does not touch its file when it moves on.
        WriteFile(second, "[B]\nb=edited\n");
        ASSERT_TRUE(store.Open(first));
        EXPECT_EQ(ReadFile(second), "[B]\nb=edited\n");
        store.WriteString("A", "c", "3");
    }
    EXPECT_EQ(ReadFile(first), "[A]\na=9\nc=3\n");
}

// Lowers the file size limit so that writes fail as on a full disk.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &m_old);
        m_oldHandler = signal(SIGXFSZ, SIG_IGN);
        rlimit limit = m_old;
        limit.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &m_old);
        signal(SIGXFSZ, m_oldHandler);
    }

private:
    rlimit m_old{};
    void (*m_oldHandler)(int) = nullptr;
};

TEST_F(ProfileStoreTest, FailedFlushKeepsStoreDirtyAndOldFileIntact) {
    ProfileStore lost(&prompter);
    ASSERT_TRUE(lost.Open(dir.File("no/such/folder/f.ini")));
    lost.WriteString("S", "k", "v");
    EXPECT_FALSE(lost.Flush());
    EXPECT_TRUE(lost.IsDirty());
    EXPECT_EQ(lost.GetString("S", "k"), "v");

    ProfileStore store(&prompter);
    const std::string old = "[S]\nold=1\n";
    const std::string path = OpenText(store, old);
    for (int i = 0; i < 200; ++i)
        store.WriteString("S", "key" + std::to_string(i), Rep('v', 400));
    bool flushed;
    {
        FileSizeLimit limit(8192);
        flushed = store.Flush();
    }
    EXPECT_FALSE(flushed);
    EXPECT_TRUE(store.IsDirty());
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(FilesIn(dir.path()), std::vector<std::string>{"t.ini"});
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(ReadFile(path), store.Serialize());
    EXPECT_FALSE(store.IsDirty());
}

}  // namespace
}  // namespace kov
