#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/folded_name_index.h"
#include "platform/clock.h"

namespace kov {

class Prompter;

// An INI-form file held in memory. Reads are answered from memory, writes change memory, and
// the whole file is written back by Flush (or on destruction when dirty). Comment lines, blank
// lines and other non-key lines keep their places. Section and key names ignore ASCII case.
// Not thread-safe: one thread uses an instance at a time.
class ProfileStore {
public:
    static constexpr std::size_t kPathCapacity = 259;
    static constexpr std::size_t kSectionCapacity = 67;
    static constexpr std::size_t kKeyCapacity = 63;
    static constexpr std::size_t kValueCapacity = 511;
    static constexpr std::size_t kRewriteCapacity = 500;  // a write to an existing key
    static constexpr std::size_t kLineCapacity = 1023;    // longer lines are read in pieces
    static constexpr const char* kEmptyKeyMessage =
        "GetValuePosition - Empty szKey in m_arValues !";

    // prompter receives the empty-key message; nullptr means DefaultPrompter().
    explicit ProfileStore(Prompter* prompter = nullptr);
    virtual ~ProfileStore();
    ProfileStore(const ProfileStore&) = delete;
    ProfileStore& operator=(const ProfileStore&) = delete;

    // Writes the open file first when it is dirty, then loads path. A missing file gives an
    // empty store and true. An empty path, or a file that exists but cannot be read (a folder,
    // a FIFO or device, a read error), gives an empty store and false: Error() says why, and
    // the store refuses writes and Flush, so nothing is ever saved over such a file.
    [[nodiscard]] bool Open(const std::string& path);
    // "path: cause" of the last failed Open or Flush; "" after a success.
    const std::string& Error() const { return m_error; }
    // The longest value kept when a file is loaded (kValueCapacity unless set before loading;
    // the language files take longer texts).
    void SetValueCapacity(std::size_t capacity) { m_valueCapacity = capacity; }
    // Loads text as if it were the content of a file (no path; Flush will fail).
    void LoadText(std::string_view text);
    bool IsOpen() const { return m_open; }
    bool IsDirty() const { return m_dirty; }
    const std::string& Path() const { return m_path; }

    // The value, cut to size - 1 bytes (size 0 means 128); def when the key is missing.
    std::string GetString(std::string_view section, std::string_view key, std::string_view def = {},
                          std::size_t size = 0) const;
    // atoi-style decimal value; def when the key is missing.
    std::int32_t GetInt(std::string_view section, std::string_view key, std::int32_t def) const;
    // Year, month, day, hour, minute, second at positions 0, 5, 8, 11, 14, 17
    // ("2005.03.07 14:05:09"); a part that is missing keeps its default
    // (defaultYear, January 1, 00:00:00).
    CalendarTime GetDateTime(std::string_view section, std::string_view key, int defaultYear) const;

    // Sets the value. An existing key keeps its place and takes at most 500 bytes; a missing
    // key is added after the last key of its section (a new section goes to the end).
    // False when no file was opened, the section or key is empty, or the section's name holds
    // a ']' (the file would read it back as another section).
    bool WriteString(std::string_view section, std::string_view key, std::string_view value);
    bool WriteInt(std::string_view section, std::string_view key, std::int32_t value);
    bool WriteDateTime(std::string_view section, std::string_view key, const CalendarTime& c);

    // Removes every section and every line from the first key line to the end; the lines
    // before the first key line (a comment block at the top) stay.
    void Clear();

    // Writes the whole file atomically (mode 0600). False when the path is empty, the file
    // could not be read when opened, or it cannot be written; the store then stays dirty, the
    // old file stays as it was and Error() says why.
    [[nodiscard]] bool Flush();
    // The text Flush would write.
    std::string Serialize() const;
    // The section names in file order (duplicates included).
    std::vector<std::string> SectionNames() const;

    // Calls visit(key, value) for every key line of the section (the first of that name) in
    // file order, values as stored: a reader that wants most keys of a section looks once
    // instead of once per key. False, and no call, when the section is missing or holds an
    // empty key (the Get* lookups report that one, so such a section is for them).
    template <typename Visit>
    bool ForEachKey(std::string_view section, Visit&& visit) const {
        const int s = FindSection(section);
        if (s < 0 || m_sections[s].firstEmptyKey != kNoEntry) return false;
        const Section& found = m_sections[s];
        for (std::size_t pos = 0; pos < found.Size(); ++pos) {
            const Entry& entry = EntryAt(found, pos);
            if (entry.isKey) visit(KeyOf(entry), Text(entry.valueOffset, entry.valueSize));
        }
        return true;
    }
    // A stored value as GetString gives it for that size (0 means 128).
    static std::string ValueText(std::string_view stored, std::size_t size);

    // Base name followed by the number: NumberedKey("s_find", 3) is "s_find3".
    static std::string NumberedKey(std::string_view base, std::int64_t number);

private:
    static constexpr std::uint32_t kNoEntry = 0xFFFFFFFFu;
    static constexpr std::size_t kScanLimit = 64;  // a bigger section's keys are indexed
    // A line's parts are stretches of m_text rather than strings of their own: a list of
    // 10,000 items has some 300,000 lines, and an allocation or two per line made loading it
    // mostly malloc. A key stands right before its value in m_text (a rewritten value takes a
    // copy of its key along), so that an entry is 16 bytes.
    struct Entry {
        std::uint64_t valueOffset = 0;  // the value, or the whole line for other lines
        std::uint32_t valueSize = 0;
        std::uint8_t keySize = 0;  // key lines only
        bool isKey = false;
    };
    static_assert(sizeof(Entry) == 16);
    std::string_view KeyOf(const Entry& entry) const {
        return Text(entry.valueOffset - entry.keySize, entry.keySize);
    }
    // A section and the lines that follow its keys in file order: count lines of m_entries
    // from first (lines that came in file order), then later (lines added after another
    // section's).
    struct Section {
        std::uint64_t nameOffset = 0;
        std::uint8_t nameSize = 0;
        std::uint32_t firstEmptyKey = kNoEntry;  // the first entry with an empty key
        std::unique_ptr<FoldedNameIndex> index;  // key -> first entry, past kScanLimit lines
        std::size_t first = 0;
        std::size_t count = 0;
        std::vector<Entry> later;
        std::size_t Size() const { return count + later.size(); }
    };

    template <typename Sink>
    void WriteTo(Sink&& sink) const;
    void Reset();
    void ParseLine(std::string_view line);
    std::uint64_t Keep(std::string_view text);
    std::string_view Text(std::uint64_t offset, std::size_t size) const {
        return std::string_view(m_text).substr(offset, size);
    }
    std::string_view SectionName(std::uint32_t s) const {
        return Text(m_sections[s].nameOffset, m_sections[s].nameSize);
    }
    std::string_view KeyAt(std::uint32_t s, std::uint32_t pos) const {
        return KeyOf(EntryAt(m_sections[s], pos));
    }
    const Entry& EntryAt(const Section& section, std::size_t pos) const {
        return pos < section.count ? m_entries[section.first + pos]
                                   : section.later[pos - section.count];
    }
    Entry& EntryAt(Section& section, std::size_t pos) {
        return pos < section.count ? m_entries[section.first + pos]
                                   : section.later[pos - section.count];
    }
    int AddSection(std::string_view name);
    void AddEntry(int s, const Entry& entry);
    void AddKey(int s, std::string_view key, std::string_view value);
    void IndexKey(int s, std::size_t pos);
    // Drops the text no line refers to any more.
    void Compact();
    int FindSection(std::string_view name) const;
    // Index of the entry holding key in section s, or -1; reports every empty key it passes,
    // as the linear scan did.
    long FindKey(int s, std::string_view key) const;
    const Entry* Find(std::string_view section, std::string_view key) const;

    Prompter* m_prompter;
    std::string m_path;
    std::string m_error;
    bool m_open = false;
    std::size_t m_valueCapacity = kValueCapacity;
    bool m_dirty = false;
    bool m_unreadable = false;                // the file exists but could not be read
    mutable bool m_emptyKeyReported = false;  // the empty-key message goes out once per file
    std::string m_text;                       // every name, key and value the entries hold
    std::size_t m_garbage = 0;                // bytes of m_text that no entry holds any more
    std::vector<Entry> m_head;                // non-key lines before the first key line
    std::vector<Entry> m_entries;             // the sections' lines in order (see Section)
    std::vector<Section> m_sections;
    FoldedNameIndex m_sectionIndex;  // section name -> first section
    mutable int m_lastSection = -1;  // the section found last
    int m_current = -1;              // section of the line being loaded
    int m_lastKeySection = -1;       // section of the last key line loaded (owner of later lines)
};

}  // namespace kov
