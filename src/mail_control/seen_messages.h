#pragma once

// The ids of the query messages already taken, so that a message fetched again (its deletion
// failed, or the program stopped between saving its items and deleting it) is not added twice.
// Kept in a text file in the program folder: one key per line, oldest first, at most capacity
// lines; the oldest are forgotten first.

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_set>

#include "mail_control/mail_text.h"

namespace kov {

inline constexpr const char* kSeenMessagesFile = "seen_queries.txt";

class SeenMessages {
public:
    static constexpr std::size_t kDefaultCapacity = 10000;
    static constexpr std::size_t kMaxKeyLength = 250;

    explicit SeenMessages(std::string path, std::size_t capacity = kDefaultCapacity);

    // Reads the file; a missing file is an empty store. False when the file exists but cannot
    // be read (the store then stays empty and Save refuses to overwrite it).
    bool Load();
    // Writes the file safely (temporary file, then rename). False on failure.
    bool Save();

    bool Contains(std::string_view key) const;
    void Add(std::string_view key);
    std::size_t Size() const { return m_order.size(); }

    // The key of a message: its Message-ID (angle brackets and blanks around it dropped), or,
    // for a message without one, a hash of its sender, subject and body.
    static std::string KeyOf(const MailText& mail);

private:
    static std::string Clean(std::string_view key);

    std::string m_path;
    std::size_t m_capacity;
    std::deque<std::string> m_order;
    std::unordered_set<std::string> m_keys;
    bool m_unreadable = false;
};

}  // namespace kov
