#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

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
    // False when no file was opened or the section or key is empty.
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

    // Base name followed by the number: NumberedKey("s_find", 3) is "s_find3".
    static std::string NumberedKey(std::string_view base, std::int64_t number);

private:
    struct Entry {
        bool isKey = false;
        std::string key;    // key lines only
        std::string value;  // the value, or the whole line for other lines
    };
    // A section and the lines that follow its keys in file order.
    struct Section {
        std::string name;
        std::vector<Entry> entries;  // key lines and the non-key lines after the first key
        std::unordered_map<std::string, std::size_t> keyIndex;  // lower-case key -> first entry
        std::vector<std::size_t> emptyKeys;                     // entries with an empty key
    };

    template <typename Sink>
    void WriteTo(Sink&& sink) const;
    void Reset();
    void ParseLine(std::string_view line);
    void AppendKey(Section& section, std::string key, std::string value);
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
    std::vector<Entry> m_head;                // non-key lines before the first key line
    std::vector<Section> m_sections;
    std::unordered_map<std::string, int> m_sectionIndex;  // lower-case name -> first section
    int m_current = -1;                                   // section of the line being loaded
    int m_lastKeySection = -1;  // section of the last key line loaded (owner of later lines)
};

}  // namespace kov
