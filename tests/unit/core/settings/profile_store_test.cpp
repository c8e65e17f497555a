#include "core/settings/profile_store.h"

#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
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
using namespace std::string_literals;

void WriteFile(const std::string& path, std::string_view text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(text.data(), static_cast<std::streamsize>(text.size()));
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string Rep(char c, std::size_t n) {
    return std::string(n, c);
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

// What a load makes of a file, as the text a flush writes back.
TEST_F(ProfileStoreTest, LoadKeepsLinesAndNormalisesHeadersAndKeys) {
    struct Case {
        std::string file, written;
    };
    const Case cases[] = {
        {"[ item 1 ] old\n  key one  =  value one  \n\tTabbed\t=\tv\t\nurl=http://h/?a=b\n"
         "empty=\n#hash=1\n;semi=2\n[noclose\nx = 1\n  [Indented]\ny=2\n",
         "[item 1]\nkey one=value one\nTabbed=v\nurl=http://h/?a=b\nempty=\n#hash=1\n;semi=2\n"
         "[noclose]\nx=1\n[Indented]\ny=2\n"},
        // Non-key lines keep their places; a header without keys goes.
        {"; top\n\n[A]\na=1\n\n; about B\n[B]\n; inside B\nb=1\nnot a key\n   # hash\n[Gone]\n"
         "[C]\nc=1\ntrailing\n",
         "; top\n\n[A]\na=1\n\n; about B\n; inside B\n[B]\nb=1\nnot a key\n   # hash\n[C]\nc=1\n"
         "trailing\n"},
        {"[S]\r\na = 1 \r\nb=2\r\r\n; c\r\n\r\n[T]\r\nt=3\r\n", "[S]\na=1\nb=2\n; c\n\n[T]\nt=3\n"},
        {"[S]\na=1\0junk=5\nb=2\n[T\0]x\nt=1\n"s, "[S]\na=1\nb=2\n[T]\nt=1\n"},
        // Lines past 1023 bytes are read in pieces, never splitting a UTF-8 sequence.
        {"[S]\nexact=" + Rep('a', 1017) + "\nlong=" + Rep('b', 1018) +
             "tail=2\nutf=" + Rep('c', 1018) + "étwo=3\n",
         "[S]\nexact=" + Rep('a', 511) + "\nlong=" + Rep('b', 511) +
             "\ntail=2\nutf=" + Rep('c', 511) + "\nétwo=3\n"},
        // A cut leaves no trailing blanks that the next load would drop.
        {"[" + Rep('s', 66) + " tail]\n" + Rep('k', 62) + " \tx=1\nv=" + Rep('x', 510) + " y\n",
         "[" + Rep('s', 66) + "]\n" + Rep('k', 62) + "=1\nv=" + Rep('x', 510) + "\n"},
    };
    for (const Case& c : cases) {
        ProfileStore store(&prompter);
        OpenText(store, c.file);
        EXPECT_EQ(store.Serialize(), c.written) << c.file.substr(0, 40);
        ProfileStore again(&prompter);
        again.LoadText(c.written);
        EXPECT_EQ(again.Serialize(), c.written);
    }
}

TEST_F(ProfileStoreTest, MissingFileOpensEmptyAndFlushCreatesAPrivateFile) {
    ProfileStore store(&prompter);
    const std::string path = dir.File("new.ini");
    ASSERT_TRUE(store.Open(path));
    EXPECT_EQ(store.GetString("Main", "key", "dflt"), "dflt");
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(store.WriteString("Main", "key", "value"));
    ASSERT_TRUE(store.Flush());
    EXPECT_FALSE(store.IsDirty());
    EXPECT_EQ(ReadFile(path), "[Main]\nkey=value\n");
    EXPECT_EQ(fs::status(path).permissions(), fs::perms::owner_read | fs::perms::owner_write);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST_F(ProfileStoreTest, StoresWithoutAFileRefuseWrites) {
    ProfileStore never(&prompter);
    EXPECT_FALSE(never.WriteString("S", "k", "v"));
    EXPECT_EQ(never.GetInt("S", "k", 7), 7);
    EXPECT_FALSE(never.Flush());

    ProfileStore store(&prompter);
    OpenText(store, "[S]\nk=1\n");
    EXPECT_FALSE(store.WriteString("", "k", "v"));
    EXPECT_FALSE(store.WriteString("S", "", "v"));
    EXPECT_FALSE(store.IsDirty());
    EXPECT_FALSE(store.Open(""));
    EXPECT_EQ(store.GetString("S", "k", "d"), "d");
    EXPECT_FALSE(store.Flush());

    ProfileStore text(&prompter);
    text.LoadText("[S]\nk=1\n");
    EXPECT_EQ(text.GetString("S", "k"), "1");
    EXPECT_FALSE(text.Flush());
}

// A file that exists but cannot be read must never pass for an empty one: a save would then
// replace the user's settings or list with nothing.
TEST_F(ProfileStoreTest, UnreadableFilesAreRefusedAndNeverOverwritten) {
    const std::string folder = dir.File("folder.ini");
    const std::string fifo = dir.File("fifo.ini");
    fs::create_directory(folder);
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    struct Case {
        std::string path, cause;
    };
    const Case cases[] = {
        {folder, "Is a directory"},
        {fifo, "not a regular file"},  // opening it must not wait for a writer
        {"/dev/null", "not a regular file"},
        {"/proc/self/mem", "Input/output error"},  // a read that fails
    };
    for (const Case& c : cases) {
        ProfileStore store(&prompter);
        EXPECT_FALSE(store.Open(c.path)) << c.path;
        EXPECT_EQ(store.Error(), c.path + ": " + c.cause);
        EXPECT_FALSE(store.WriteString("S", "k", "v"));
        store.Clear();
        EXPECT_FALSE(store.Flush());
        EXPECT_EQ(store.Error(), c.path + ": " + c.cause);
    }
    EXPECT_TRUE(fs::is_directory(folder));
    EXPECT_TRUE(fs::is_fifo(fifo));
}

TEST_F(ProfileStoreTest, NamesIgnoreCaseAndOnlyTheFirstDuplicateIsSeen) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[Settings]\nLastDL=5\nk=first\nk=second\n[B]\nb=1\n[SETTINGS]\nLastDL=6\nonly=3\n");
    EXPECT_EQ(store.GetInt("SETTINGS", "lastdl", 0), 5);
    EXPECT_EQ(store.GetString("Settings", "k"), "first");
    EXPECT_EQ(store.GetString("Settings", "only", "d"), "d");
    store.WriteString("SETTINGS", "lastDL", "7");  // keeps the key as it was spelt
    store.WriteString("settings", "k", "changed");
    store.WriteString("Settings", "only", "4");  // a new key for the first of the two
    EXPECT_EQ(store.Serialize(),
              "[Settings]\nLastDL=7\nk=changed\nk=second\nonly=4\n[B]\nb=1\n"
              "[SETTINGS]\nLastDL=6\nonly=3\n");
    EXPECT_EQ(store.SectionNames(), (std::vector<std::string>{"Settings", "B", "SETTINGS"}));
}

TEST_F(ProfileStoreTest, AnEmptyKeyIsReportedOncePerFileAndLookupsGoOn) {
    ProfileStore store(&prompter);
    OpenText(store, "[S]\nbefore=1\n=first\nmiddle=2\n  = second\nafter=3\n[T]\n=x\nt=1\n");
    EXPECT_EQ(store.GetString("S", "before"), "1");
    EXPECT_TRUE(prompter.informed.empty());  // no empty key passed on the way
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(store.GetString("S", "after"), "3");
        EXPECT_EQ(store.GetString("T", "t"), "1");
    }
    EXPECT_EQ(prompter.informed, std::vector<std::string>{ProfileStore::kEmptyKeyMessage});
    EXPECT_EQ(store.Serialize(),
              "[S]\nbefore=1\n=first\nmiddle=2\n=second\nafter=3\n[T]\n=x\nt=1\n");

    // The next file gets its own message, through the default prompter when none was given.
    test::RecordingPrompter fallback;
    SetDefaultPrompter(&fallback);
    ProfileStore plain;
    plain.LoadText("[S]\n=x\nk=1\n");
    plain.GetString("S", "k");
    plain.LoadText("[S]\n=x\nk=1\n");
    plain.GetString("S", "k");
    SetDefaultPrompter(nullptr);
    EXPECT_EQ(fallback.informed.size(), 2u);
}

TEST_F(ProfileStoreTest, NewKeysGoAfterTheLastLinesOfTheirSection) {
    ProfileStore store(&prompter);
    OpenText(store, "[A]\na=1\n; trailing A\n[B]\n; lead B\nb=1\n\n[Mid]\n; mid\n[C]\nc=1\n");
    store.WriteString("A", "new", "x");
    store.WriteString("Mid", "m", "1");
    store.WriteString("D", "d", "w");
    store.WriteInt("b", "b", -12);
    EXPECT_EQ(store.Serialize(),
              "[A]\na=1\n; trailing A\n; lead B\nnew=x\n[B]\nb=-12\n\n; mid\n[Mid]\nm=1\n[C]\nc=1\n"
              "[D]\nd=w\n");
}

TEST_F(ProfileStoreTest, TextIsCutToItsCapacityOnUtf8Boundaries) {
    ProfileStore store(&prompter);
    OpenText(store, "[S]\nv600=" + Rep('v', 600) + "\nutf=" + Rep('x', 510) + "é\n" + Rep('k', 70) +
                        "=1\n[" + Rep('s', 80) + "]\nin=3\n");
    EXPECT_EQ(store.GetString("S", "v600", "", 1000), Rep('v', 511));
    EXPECT_EQ(store.GetString("S", "utf", "", 1000), Rep('x', 510));
    EXPECT_EQ(store.GetString("S", Rep('k', 63)), "1");
    EXPECT_EQ(store.GetString(Rep('s', 67), "in"), "3");
    store.WriteString("S", "v600", Rep('w', 600));  // an existing key takes 500
    EXPECT_EQ(store.GetString("S", "v600", "", 1000), Rep('w', 500));
    store.WriteString("S", "fresh", Rep('f', 600));  // a new one 511
    EXPECT_EQ(store.GetString("S", "fresh", "", 1000), Rep('f', 511));
    // The caller's size: 0 means 128; defaults are cut the same way.
    EXPECT_EQ(store.GetString("S", "v600"), Rep('w', 127));
    EXPECT_EQ(store.GetString("S", "missing", "aé", 3), "a");
    // A value cut just after a blank loses it, as the file would on the next load.
    store.WriteString("S", "id", "ABC DEF");
    EXPECT_EQ(store.GetString("S", "id", "", 5), "ABC");
}

// A file is read in blocks; a line reads the same wherever it falls: inside a block, across
// the end of one, at the line capacity and just beyond it, with a NUL or CRs in it.
TEST_F(ProfileStoreTest, LinesReadTheSameWhereverTheyFallInTheFile) {
    const std::string body = "[S]\nfull=" + Rep('f', 1018) + "\nover=" + Rep('o', 1020) +
                             "\ncrlf=a b\r\nnul=x" + std::string(1, '\0') + "y=z\ncrs=c\r\r\n" +
                             Rep('k', 1030) + "=long key\nlast=1";
    const std::vector<std::string> keys = {"full", "over", "crlf", "nul", "crs", "last"};
    ProfileStore plain(&prompter);
    plain.LoadText(body);
    for (const std::size_t before :
         {std::size_t{0}, std::size_t{65536 - 5}, std::size_t{65536 - 1030}, std::size_t{65536 + 7},
          std::size_t{2 * 65536 - 1}}) {
        SCOPED_TRACE(before);
        // Comment lines of exactly `before` bytes ahead of the section.
        std::string head;
        while (head.size() + 64 <= before)
            head += ";" + Rep('c', 62) + "\n";
        if (head.size() + 1 < before) head += ";" + Rep('r', before - head.size() - 2);
        head.resize(before, '\n');
        ProfileStore store(&prompter);
        OpenText(store, head + body);
        for (const std::string& key : keys)
            EXPECT_EQ(store.GetString("S", key, "-", 2000), plain.GetString("S", key, "-", 2000))
                << key;
        EXPECT_EQ(store.SectionNames(), plain.SectionNames());
        EXPECT_EQ(store.Serialize().substr(before), plain.Serialize());
    }
}

TEST_F(ProfileStoreTest, AValueReadsAsItWouldBeWrittenBack) {
    ProfileStore store(&prompter);
    store.LoadText(std::string("[S]\ncr=\r\r a\rb\nnul=x\0y\n", 22));
    EXPECT_EQ(store.GetString("S", "cr"), "a b");
    EXPECT_EQ(store.GetString("S", "nul"), "x");
    // Plain lines cut at their capacity just before a CR: the head, a comment, a line without '='.
    const std::string cut = Rep('a', 510) + "\rbbbbb\n";
    for (const std::string& body : {cut + "[S]\nk=1\n", "[S]\nk=1\n;" + cut, "[S]\nk=1\n" + cut,
                                    std::string("[S]\ncr=\r\r a\rb\nnul=x\0y\n", 22)}) {
        store.LoadText(body);
        const std::string text = store.Serialize();
        store.LoadText(text);
        EXPECT_EQ(store.Serialize(), text) << body.substr(0, 40);
    }
}

TEST_F(ProfileStoreTest, NumbersAndDatesReadLikeTheCLibrary) {
    ProfileStore store(&prompter);
    OpenText(store,
             "[N]\nmixed=12abc\nbig=2147483648\nhex=0x10\n"
             "[D]\nfull=2005.03.07 14:05:09\nmonth=2005.03\nletters=abc\nhour=2005.03.07 14:0\n"
             "badmonth=2005.xx.07\nshifted=191.01.01 1910:00:01\nrange=2005.13.32 24:60:61\n");
    // The number parser's own cases are the text helpers'.
    const std::pair<const char*, int> ints[] = {
        {"mixed", 12}, {"big", INT32_MAX}, {"hex", 0}, {"missing", -5}};
    for (const auto& [key, value] : ints)
        EXPECT_EQ(store.GetInt("N", key, -5), value) << key;

    const std::pair<const char*, std::vector<int>> dates[] = {
        {"full", {2005, 3, 7, 14, 5, 9}},
        {"month", {2005, 3, 1, 0, 0, 0}},
        {"letters", {1999, 1, 1, 0, 0, 0}},
        {"missing", {1999, 1, 1, 0, 0, 0}},
        {"hour", {2005, 3, 7, 14, 0, 0}},
        {"badmonth", {2005, 1, 7, 0, 0, 0}},
        // Out of range keeps the default, so that what is written back reads back the same.
        {"shifted", {1999, 1, 1, 0, 0, 0}},
        {"range", {2005, 1, 1, 0, 0, 0}}};
    for (const auto& [key, parts] : dates) {
        const CalendarTime c = store.GetDateTime("D", key, 1999);
        EXPECT_EQ((std::vector<int>{c.year, c.month, c.day, c.hour, c.minute, c.second}), parts)
            << key;
    }
    EXPECT_TRUE(store.WriteDateTime("D", "w", CalendarTime{2024, 1, 2, 3, 4, 5, 0}));
    EXPECT_EQ(store.GetString("D", "w"), "2024.01.02 03:04:05");
    EXPECT_EQ(ProfileStore::NumberedKey("x", 4294967296LL), "x4294967296");
}

TEST_F(ProfileStoreTest, ClearKeepsTheLinesBeforeTheFirstKey) {
    ProfileStore store(&prompter);
    const std::string path = OpenText(store, "; one\n[S]\n; two\na=1\n; mid\n[T]\nb=2\n");
    store.Clear();
    EXPECT_EQ(store.Serialize(), "; one\n; two\n");
    store.WriteString("S", "a", "3");
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(ReadFile(path), "; one\n; two\n[S]\na=3\n");
}

TEST_F(ProfileStoreTest, ADirtyStoreIsWrittenBeforeItIsLeft) {
    const std::string first = dir.File("first.ini"), second = dir.File("second.ini");
    WriteFile(second, "[B]\nb=2\n");
    {
        ProfileStore store(&prompter);
        OpenText(store, "[A]\na=1\n", "first.ini");
        store.WriteString("A", "a", "9");
        ASSERT_TRUE(store.Open(second));
        EXPECT_EQ(ReadFile(first), "[A]\na=9\n");
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

TEST_F(ProfileStoreTest, AFailedFlushKeepsTheStoreDirtyTheOldFileIntactAndSaysWhy) {
    ProfileStore lost(&prompter);
    const std::string nowhere = dir.File("no/such/folder/f.ini");
    ASSERT_TRUE(lost.Open(nowhere));
    lost.WriteString("S", "k", "v");
    EXPECT_FALSE(lost.Flush());
    EXPECT_EQ(lost.Error(), nowhere + ": No such file or directory");
    EXPECT_TRUE(lost.IsDirty());

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
    EXPECT_EQ(store.Error(), path + ": File too large");
    EXPECT_TRUE(store.IsDirty());
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    ASSERT_TRUE(store.Flush());
    EXPECT_EQ(store.Error(), "");
    EXPECT_EQ(ReadFile(path), store.Serialize());
}

}  // namespace
}  // namespace kov

namespace kov {
namespace {

// The store against a plain model of its rules: sections and keys found by their first
// spelling ignoring case, a new key at the end of its section, a new section at the end.
struct ModelIni {
    struct Section {
        std::string name;
        std::vector<std::pair<std::string, std::string>> keys;
    };
    std::vector<Section> sections;

    void Write(const std::string& section, const std::string& key, const std::string& value) {
        auto same = [](const std::string& a, const std::string& b) {
            return a.size() == b.size() &&
                   std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
                       return std::tolower(static_cast<unsigned char>(x)) ==
                              std::tolower(static_cast<unsigned char>(y));
                   });
        };
        auto s = std::find_if(sections.begin(), sections.end(),
                              [&](const Section& x) { return same(x.name, section); });
        if (s == sections.end()) s = sections.insert(sections.end(), Section{section, {}});
        for (auto& [k, v] : s->keys) {
            if (same(k, key)) {
                v = value;
                return;
            }
        }
        s->keys.emplace_back(key, value);
    }
    std::string Text() const {
        std::string out;
        for (const Section& s : sections) {
            out += "[" + s.name + "]\n";
            for (const auto& [k, v] : s.keys)
                out += k + "=" + v + "\n";
        }
        return out;
    }
};

// Written text never turns into lines of its own: line breaks become blanks, a NUL ends it.
TEST(ProfileStoreModelTest, WrittenLineBreaksCannotForgeLines) {
    struct Case {
        std::string section, key, value, written;
    };
    const Case cases[] = {
        {"S", "k", "a\nforged=1", "[S]\nk=a forged=1\n"},
        {"S", "k", "a\r\n[T]\nx=1", "[S]\nk=a  [T] x=1\n"},
        {"S\n[U", "k", "v", "[S [U]\nk=v\n"},
        {"S", "k\nx", "v", "[S]\nk x=v\n"},
        {"S", "k", std::string("v\0w", 3), "[S]\nk=v\n"},
        {"S", "k", "plain", "[S]\nk=plain\n"},
    };
    for (const Case& c : cases) {
        ProfileStore store;
        store.LoadText("");
        ASSERT_TRUE(store.WriteString(c.section, c.key, c.value)) << c.section;
        EXPECT_EQ(store.Serialize(), c.written) << c.value;
        store.LoadText(c.written);
        EXPECT_EQ(store.SectionNames().size(), 1u) << c.value;
    }
}

// A section name with a ']' would come back as another section: such a write is refused.
TEST(ProfileStoreModelTest, SectionNamesThatWouldNotReadBackAreRefused) {
    ProfileStore store;
    store.LoadText("[A]\nk=1\n");
    for (const char* name : {"A]", "a]b", "]", "x\n]"}) {
        EXPECT_FALSE(store.WriteString(name, "k", "2")) << name;
        EXPECT_FALSE(store.WriteInt(name, "n", 2)) << name;
    }
    EXPECT_EQ(store.Serialize(), "[A]\nk=1\n");
    EXPECT_FALSE(store.IsDirty());
    EXPECT_TRUE(store.WriteString("a[b", "k", "v"));
    store.LoadText(store.Serialize());
    EXPECT_EQ(store.GetString("a[b", "k"), "v");
}

// Writes spread over sections in any order, rewrites of long values by the thousand (the
// text they replace is dropped on the way), then a load of what was written.
TEST(ProfileStoreModelTest, WritesInAnyOrderMatchAPlainModelAndReadBack) {
    struct Case {
        unsigned seed;
        int sections, keys, writes;
    };
    // Sections of more than a few dozen keys are looked up another way than small ones.
    const Case cases[] = {{1, 1, 3, 4000}, {2, 4, 10, 6000}, {3, 40, 30, 8000}, {4, 3, 150, 8000}};
    for (const Case& c : cases) {
        std::mt19937 random(c.seed);
        ProfileStore store;
        store.LoadText("; head\n");
        ModelIni model;
        for (int i = 0; i < c.writes; ++i) {
            std::string section = "Sec" + std::to_string(random() % c.sections);
            std::string key = "Key" + std::to_string(random() % c.keys);
            if (random() % 4 == 0) section[0] = 's';  // another spelling of the same name
            if (random() % 4 == 0) key[1] = 'E';
            const std::string value(random() % 400, static_cast<char>('a' + i % 26));
            ASSERT_TRUE(store.WriteString(section, key, value));
            model.Write(section, key, value);
        }
        const std::string expected = "; head\n" + model.Text();
        ASSERT_EQ(store.Serialize(), expected) << "seed " << c.seed;
        for (int pass = 0; pass < 2; ++pass) {
            for (const auto& s : model.sections) {
                for (const auto& [k, v] : s.keys) {
                    ASSERT_EQ(store.GetString(s.name, k, "", 1000), v) << s.name << " " << k;
                    ASSERT_EQ(store.GetString(s.name, k + "x", "none"), "none");
                }
            }
            store.LoadText(expected);
            EXPECT_EQ(store.Serialize(), expected);
        }
    }
}

}  // namespace
}  // namespace kov
