#include "core/settings/profile_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/prompter.h"
#include "core/text/text_util.h"
#include "platform/atomic_file_writer.h"
#include "platform/unique_fd.h"

namespace kov {

namespace {

// Line breaks inside a written name or value would turn into lines of their own on the next
// load (and could forge keys), so they become blanks.
std::string OneLine(std::string_view text) {
    std::string out(text.substr(0, text.find('\0')));
    for (char& c : out) {
        if (c == '\r' || c == '\n') c = ' ';
    }
    return out;
}

// OneLine without a copy when there is nothing to blank (nearly always): scratch holds the
// blanked text otherwise.
std::string_view OneLineView(std::string_view text, std::string& scratch) {
    text = text.substr(0, text.find('\0'));
    // Two scans for one character each: find_first_of with a set looks the set up per
    // character, which made this most of a large list's save.
    if (text.find('\n') == std::string_view::npos && text.find('\r') == std::string_view::npos)
        return text;
    scratch = OneLine(text);
    return scratch;
}

// Blanks and tabs off the start; blanks, tabs and line-end characters off the end.
std::string_view TrimField(std::string_view text) {
    text = TrimBlanks(text);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' ||
                             text.back() == '\n')) {
        text.remove_suffix(1);
    }
    return text;
}

std::string_view CapView(std::string_view text, std::size_t capacity) {
    return text.substr(0, Utf8CutLength(text, capacity));
}

// A name or value trimmed and cut to its capacity; what is left is trimmed again, so that the
// next load reads exactly the same text.
std::string_view FieldText(std::string_view text, std::size_t capacity) {
    return TrimField(CapView(TrimField(text), capacity));
}

std::string_view StripLineEnd(std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
        line.remove_suffix(1);
    return line;
}

// Reads text in blocks (read(buffer, size) gives the count, 0 at the end) and hands out its
// lines; a line longer than the line capacity is handed out in pieces, each cut on a UTF-8
// boundary. The text after a NUL byte in a line is dropped, as C string handling would.
template <typename Reader, typename Sink>
void ReadLines(Reader&& read, Sink&& sink) {
    constexpr std::size_t kKeep = 2 * ProfileStore::kLineCapacity + 2;
    std::string line;
    bool dropping = false;
    char block[65536];
    auto emitPieces = [&](bool all) {
        std::string_view rest(line);
        if (all) rest = StripLineEnd(rest);
        while (rest.size() > ProfileStore::kLineCapacity && (all || rest.size() > kKeep)) {
            std::size_t cut = Utf8CutLength(rest, ProfileStore::kLineCapacity);
            if (cut == 0) cut = ProfileStore::kLineCapacity;
            sink(rest.substr(0, cut));
            rest.remove_prefix(cut);
        }
        if (all) {
            sink(rest);
            line.clear();
        } else {
            line.erase(0, line.size() - rest.size());
        }
    };
    std::size_t got;
    while ((got = read(block, sizeof block)) > 0) {
        // A block without NUL bytes, as text files are, needs no look for one in each line.
        const bool zeros = std::memchr(block, '\0', got) != nullptr;
        std::size_t i = 0;
        while (i < got) {
            const char* nl = static_cast<const char*>(std::memchr(block + i, '\n', got - i));
            const std::size_t end = nl ? static_cast<std::size_t>(nl - block) : got;
            if (!dropping) {
                const char* zero =
                    zeros ? static_cast<const char*>(std::memchr(block + i, '\0', end - i))
                          : nullptr;
                const std::size_t take = zero ? static_cast<std::size_t>(zero - block) : end;
                // A whole line of the block, as nearly all are, goes out without a copy.
                const std::string_view whole = StripLineEnd({block + i, end - i});
                if (nl && !zero && line.empty() && whole.size() <= ProfileStore::kLineCapacity) {
                    sink(whole);
                    i = end + 1;
                    continue;
                }
                line.append(block + i, take - i);
                dropping = zero != nullptr;
            }
            if (nl) {
                emitPieces(true);
                dropping = false;
                i = end + 1;
            } else {
                if (line.size() > 2 * kKeep) emitPieces(false);
                i = got;
            }
        }
    }
    if (!line.empty()) emitPieces(true);
}

}  // namespace

ProfileStore::ProfileStore(Prompter* prompter) : m_prompter(prompter) {}

ProfileStore::~ProfileStore() {
    // A failure here has no caller left to tell; callers that care flush first.
    if (m_open && m_dirty && !Flush()) m_dirty = true;
}

void ProfileStore::Reset() {
    m_text.clear();
    m_garbage = 0;
    m_head.clear();
    m_entries.clear();
    m_sections.clear();
    m_sectionIndex.Clear();
    m_lastSection = -1;
    m_current = -1;
    m_lastKeySection = -1;
    m_dirty = false;
    m_unreadable = false;
    m_emptyKeyReported = false;
    m_error.clear();
}

bool ProfileStore::Open(const std::string& path) {
    // A failed write of the old file leaves that file as it was last saved; callers that must
    // know flush before they open another.
    if (m_open && m_dirty && !Flush()) m_dirty = false;
    Reset();
    m_path = path;
    m_open = false;
    if (path.empty()) {
        m_error = "no file name";
        return false;
    }
    // O_NONBLOCK: opening a FIFO with no writer must not wait for ever.
    const UniqueFd file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    const int fd = file.Get();
    if (fd < 0 && errno == ENOENT) {
        m_open = true;
        return true;
    }
    auto unreadable = [&](const char* cause) {
        m_error = path + ": " + cause;
        m_unreadable = true;
        return false;
    };
    if (fd < 0) return unreadable(std::strerror(errno));
    struct stat st {};
    const bool statOk = ::fstat(fd, &st) == 0;
    const int statError = errno;
    if (!statOk || !S_ISREG(st.st_mode)) {
        if (!statOk) return unreadable(std::strerror(statError));
        return unreadable(S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file");
    }
    // The text kept is about the size of the file. A list file's lines average some 15
    // bytes; room for twice as many lines costs address space only, where a vector that
    // outgrew its room near the end would copy all of them.
    if (st.st_size > 0 && st.st_size < (1 << 28)) {
        const auto size = static_cast<std::size_t>(st.st_size);
        m_text.reserve(size);
        m_entries.reserve(size / 8);
    }
    int readError = 0;
    ReadLines(
        [fd, &readError](char* buffer, std::size_t size) -> std::size_t {
            for (;;) {
                const ssize_t n = ::read(fd, buffer, size);
                if (n >= 0) return static_cast<std::size_t>(n);
                if (errno == EINTR) continue;
                readError = errno;
                return 0;
            }
        },
        [this](std::string_view line) { ParseLine(line); });
    if (readError != 0) return unreadable(std::strerror(readError));
    m_open = true;
    m_dirty = false;
    return true;
}

void ProfileStore::LoadText(std::string_view text) {
    Reset();
    m_path.clear();
    m_open = true;
    ReadLines(
        [&text](char* buffer, std::size_t size) {
            const std::size_t n = text.copy(buffer, size);
            text.remove_prefix(n);
            return n;
        },
        [this](std::string_view line) { ParseLine(line); });
    m_dirty = false;
}

void ProfileStore::ParseLine(std::string_view line) {
    line = StripLineEnd(line);
    std::size_t first = 0;
    while (first < line.size() && (line[first] == ' ' || line[first] == '\t'))
        ++first;

    if (first < line.size() && line[first] == '[') {
        std::string_view name = line.substr(first + 1);
        m_current = AddSection(FieldText(name.substr(0, name.find(']')), kSectionCapacity));
        return;
    }

    const std::size_t eq = line.find('=', first);
    const bool comment = first < line.size() && (line[first] == '#' || line[first] == ';');
    if (first == line.size() || comment || eq == std::string_view::npos || m_current < 0) {
        // Lines before the first section are kept as plain lines, whatever they hold. A cut
        // that ends in a line-end character loses it, as the next load would.
        Entry entry;
        const std::string_view text = StripLineEnd(CapView(line, kValueCapacity));
        entry.valueOffset = Keep(text);
        entry.valueSize = static_cast<std::uint32_t>(text.size());
        if (m_lastKeySection < 0) {
            m_head.push_back(entry);
        } else {
            AddEntry(m_lastKeySection, entry);
        }
        return;
    }

    // A stray CR inside a value reads as the blank it is written as. (Not in a key: there it
    // keeps a ';' or '#' after it from starting a comment line.)
    const std::string_view value = line.substr(eq + 1);
    const std::string blanked = value.find('\r') == std::string_view::npos ? "" : OneLine(value);
    AddKey(m_current, FieldText(line.substr(0, eq), kKeyCapacity),
           FieldText(blanked.empty() ? value : std::string_view(blanked), m_valueCapacity));
    m_lastKeySection = m_current;
}

std::uint64_t ProfileStore::Keep(std::string_view text) {
    const std::uint64_t offset = m_text.size();
    m_text.append(text);
    return offset;
}

int ProfileStore::AddSection(std::string_view name) {
    Section section;
    section.nameOffset = Keep(name);
    section.nameSize = static_cast<std::uint8_t>(name.size());
    const auto s = static_cast<std::uint32_t>(m_sections.size());
    m_sections.push_back(std::move(section));
    m_sectionIndex.AddFirst(0, name, s,
                            [this](std::uint32_t, std::uint32_t pos) { return SectionName(pos); });
    return static_cast<int>(s);
}

void ProfileStore::AddEntry(int s, const Entry& entry) {
    Section& section = m_sections[s];
    const std::size_t pos = section.Size();
    // Lines that come in file order stay in the one shared vector; only a line added to a
    // section after a later section's lines needs one of its own.
    if (section.count == 0) section.first = m_entries.size();
    if (section.later.empty() && section.first + section.count == m_entries.size()) {
        m_entries.push_back(entry);
        ++section.count;
    } else {
        section.later.push_back(entry);
    }
    if (!entry.isKey) return;
    if (entry.keySize == 0) {
        if (section.firstEmptyKey == kNoEntry)
            section.firstEmptyKey = static_cast<std::uint32_t>(pos);
        return;
    }
    if (section.index) {
        IndexKey(s, pos);
    } else if (section.Size() > kScanLimit) {
        // Its own index: the keys of one section are looked up together, and a small table
        // stays in the cache where one for the whole file would not.
        section.index = std::make_unique<FoldedNameIndex>();
        for (std::size_t at = 0; at < section.Size(); ++at)
            IndexKey(s, at);
    }
}

void ProfileStore::IndexKey(int s, std::size_t pos) {
    const Entry& entry = EntryAt(m_sections[s], pos);
    if (!entry.isKey || entry.keySize == 0) return;
    m_sections[s].index->AddFirst(0, KeyOf(entry), static_cast<std::uint32_t>(pos),
                                  [this, s](std::uint32_t, std::uint32_t at) {
                                      return KeyAt(static_cast<std::uint32_t>(s), at);
                                  });
}

void ProfileStore::AddKey(int s, std::string_view key, std::string_view value) {
    Entry entry;
    entry.isKey = true;
    Keep(key);
    entry.keySize = static_cast<std::uint8_t>(key.size());
    entry.valueOffset = Keep(value);
    entry.valueSize = static_cast<std::uint32_t>(value.size());
    AddEntry(s, entry);
}

void ProfileStore::Compact() {
    std::string text;
    text.reserve(m_text.size() - m_garbage);
    auto move = [&](std::uint64_t& offset, std::size_t size) {
        const std::uint64_t moved = text.size();
        text.append(m_text, offset, size);
        offset = moved;
    };
    for (Entry& entry : m_head)
        move(entry.valueOffset, entry.valueSize);
    for (Section& section : m_sections) {
        move(section.nameOffset, section.nameSize);
        for (std::size_t pos = 0; pos < section.Size(); ++pos) {
            Entry& entry = EntryAt(section, pos);
            // The key and the value move together, the key right before the value.
            const std::uint64_t moved = text.size();
            text.append(m_text, entry.valueOffset - entry.keySize,
                        std::size_t{entry.keySize} + entry.valueSize);
            entry.valueOffset = moved + entry.keySize;
        }
    }
    m_text.swap(text);
    m_garbage = 0;
}

int ProfileStore::FindSection(std::string_view name) const {
    if (name.empty()) return -1;
    name = CapView(name, kSectionCapacity);
    // A reader asks for the keys of one section in a row.
    if (m_lastSection >= 0 &&
        FoldedEquals(SectionName(static_cast<std::uint32_t>(m_lastSection)), name))
        return m_lastSection;
    const std::uint32_t s = m_sectionIndex.Find(
        0, name, [this](std::uint32_t, std::uint32_t pos) { return SectionName(pos); });
    if (s == FoldedNameIndex::kNone) return -1;
    m_lastSection = static_cast<int>(s);
    return m_lastSection;
}

long ProfileStore::FindKey(int s, std::string_view key) const {
    const Section& section = m_sections[s];
    key = CapView(key, kKeyCapacity);
    std::size_t pos = FoldedNameIndex::kNone;
    if (section.index) {
        pos = section.index->Find(0, key, [this, s](std::uint32_t, std::uint32_t at) {
            return KeyAt(static_cast<std::uint32_t>(s), at);
        });
    } else {
        // A small section's lines lie together: reading them in a row beats a hash lookup.
        for (std::size_t at = 0; at < section.Size() && pos == FoldedNameIndex::kNone; ++at) {
            const Entry& entry = EntryAt(section, at);
            if (entry.isKey && entry.keySize == key.size() && FoldedEquals(KeyOf(entry), key)) {
                pos = at;
            }
        }
    }
    const std::size_t stop = pos == FoldedNameIndex::kNone ? section.Size() : pos;
    // One message per file: a damaged file must not bury the user under one per lookup.
    if (!m_emptyKeyReported && section.firstEmptyKey < stop) {
        m_emptyKeyReported = true;
        (m_prompter ? *m_prompter : DefaultPrompter()).Inform(kEmptyKeyMessage);
    }
    return pos == FoldedNameIndex::kNone ? -1 : static_cast<long>(pos);
}

const ProfileStore::Entry* ProfileStore::Find(std::string_view section,
                                              std::string_view key) const {
    if (key.empty()) return nullptr;
    const int s = FindSection(section);
    if (s < 0) return nullptr;
    const long pos = FindKey(s, key);
    return pos < 0 ? nullptr : &EntryAt(m_sections[s], static_cast<std::size_t>(pos));
}

std::string ProfileStore::GetString(std::string_view section, std::string_view key,
                                    std::string_view def, std::size_t size) const {
    if (size == 0) size = 128;
    const Entry* entry = Find(section, key);
    if (!entry) return CapText(def, size - 1);
    return ValueText(Text(entry->valueOffset, entry->valueSize), size);
}

std::string ProfileStore::ValueText(std::string_view stored, std::size_t size) {
    if (size == 0) size = 128;
    // A value cut short is trimmed again, so that written back it reads back the same.
    return std::string(TrimField(CapView(stored, size - 1)));
}

std::int32_t ProfileStore::GetInt(std::string_view section, std::string_view key,
                                  std::int32_t def) const {
    const Entry* entry = Find(section, key);
    return entry ? ParseInt32(Text(entry->valueOffset, entry->valueSize)) : def;
}

CalendarTime ProfileStore::GetDateTime(std::string_view section, std::string_view key,
                                       int defaultYear) const {
    CalendarTime c;
    c.year = defaultYear;
    const Entry* entry = Find(section, key);
    if (!entry) return c;
    const std::string_view v = Text(entry->valueOffset, entry->valueSize);
    struct Part {
        std::size_t pos;
        int* field;
        int min, max;
    };
    // A value out of its range keeps the default: written back in the fixed-width form, it
    // would not read back the same.
    const Part parts[] = {{0, &c.year, 1000, 9999}, {5, &c.month, 1, 12},   {8, &c.day, 1, 31},
                          {11, &c.hour, 0, 23},     {14, &c.minute, 0, 59}, {17, &c.second, 0, 59}};
    for (const Part& part : parts) {
        // Each part needs the whole field present (year 4 characters, the others 2).
        const std::size_t need = part.pos == 0 ? 4 : part.pos + 2;
        if (v.size() >= need && v[part.pos] >= '0' && v[part.pos] <= '9') {
            const int value = ParseInt32(v.substr(part.pos));
            if (value >= part.min && value <= part.max) *part.field = value;
        }
    }
    return c;
}

bool ProfileStore::WriteString(std::string_view section, std::string_view key,
                               std::string_view value) {
    if (!m_open || section.empty() || key.empty()) return false;
    std::string scratch[3];
    const std::string_view name = CapView(OneLineView(section, scratch[0]), kSectionCapacity);
    const std::string_view keyName = CapView(OneLineView(key, scratch[1]), kKeyCapacity);
    const std::string_view text = OneLineView(value, scratch[2]);
    // A ']' would end the name on the next load, and the keys would go to another section.
    if (name.empty() || keyName.empty() || name.find(']') != std::string_view::npos) return false;

    int s = FindSection(name);
    if (s >= 0) {
        const long pos = FindKey(s, keyName);
        if (pos >= 0) {
            Entry& entry = EntryAt(m_sections[s], static_cast<std::size_t>(pos));
            const std::string_view kept = CapView(text, kRewriteCapacity);
            m_garbage += std::size_t{entry.keySize} + entry.valueSize;
            // One piece: kept may lie in m_text itself, which a first append could move.
            std::string line(KeyOf(entry));
            line += kept;
            entry.valueOffset = Keep(line) + entry.keySize;
            entry.valueSize = static_cast<std::uint32_t>(kept.size());
            m_dirty = true;
            // A store rewritten for hours must not grow without end.
            if (m_garbage > (1u << 16) && m_garbage * 2 > m_text.size()) Compact();
            return true;
        }
    } else {
        s = AddSection(name);
    }
    // Each section's lines stand together in section order, so appending to the section keeps
    // the new key before the first key of any later section.
    AddKey(s, keyName, CapView(text, kValueCapacity));
    m_dirty = true;
    return true;
}

bool ProfileStore::WriteInt(std::string_view section, std::string_view key, std::int32_t value) {
    return WriteString(section, key, std::to_string(value));
}

bool ProfileStore::WriteDateTime(std::string_view section, std::string_view key,
                                 const CalendarTime& c) {
    char text[80];
    std::snprintf(text, sizeof text, "%d.%02d.%02d %02d:%02d:%02d", c.year, c.month, c.day, c.hour,
                  c.minute, c.second);
    return WriteString(section, key, text);
}

void ProfileStore::Clear() {
    if (!m_open) return;
    m_entries.clear();
    m_sections.clear();
    m_sectionIndex.Clear();
    m_lastSection = -1;
    m_current = -1;
    m_lastKeySection = -1;
    m_dirty = true;
    Compact();
}

template <typename Sink>
void ProfileStore::WriteTo(Sink&& sink) const {
    for (const Entry& entry : m_head) {
        sink(Text(entry.valueOffset, entry.valueSize));
        sink("\n");
    }
    for (const Section& section : m_sections) {
        bool headerWritten = false;
        for (std::size_t pos = 0; pos < section.Size(); ++pos) {
            const Entry& entry = EntryAt(section, pos);
            if (!entry.isKey) {
                sink(Text(entry.valueOffset, entry.valueSize));
                sink("\n");
                continue;
            }
            if (!headerWritten) {
                sink("[");
                sink(Text(section.nameOffset, section.nameSize));
                sink("]\n");
                headerWritten = true;
            }
            sink(KeyOf(entry));
            sink("=");
            sink(Text(entry.valueOffset, entry.valueSize));
            sink("\n");
        }
    }
}

std::string ProfileStore::Serialize() const {
    std::string out;
    WriteTo([&out](std::string_view text) { out += text; });
    return out;
}

std::vector<std::string> ProfileStore::SectionNames() const {
    std::vector<std::string> names;
    names.reserve(m_sections.size());
    for (const Section& section : m_sections)
        names.emplace_back(Text(section.nameOffset, section.nameSize));
    return names;
}

bool ProfileStore::Flush() {
    if (m_path.empty()) {
        m_error = "no file name";
        return false;
    }
    if (m_unreadable) return false;  // m_error still tells why the file could not be read
    // Streamed: the text of a big file is tens of megabytes.
    AtomicFileWriter writer;
    writer.SetKeepUnchanged(true);
    bool ok = writer.Open(m_path, 0600);
    if (ok) {
        WriteTo([&writer](std::string_view text) { writer.Write(text); });
        ok = writer.Commit();
    }
    if (!ok) {
        m_error = m_path + ": " + (writer.Error().empty() ? "write failed" : writer.Error());
        return false;
    }
    m_error.clear();
    m_dirty = false;
    return true;
}

std::string ProfileStore::NumberedKey(std::string_view base, std::int64_t number) {
    std::string key(base);
    key += std::to_string(number);
    return key;
}

}  // namespace kov
