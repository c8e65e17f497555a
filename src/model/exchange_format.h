#pragma once

// The text form in which URL items travel between lists, running copies of the program and
// e-mail: a URLIST block of URL records, one four-letter tagged line per field.

#include <cstddef>
#include <ctime>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "model/url_item.h"

namespace kov {

// Writer modes. Query mode leaves out an item's local state (Disabled, the e-mail origin, the
// last-download date, ClearFolder); mode 1 adds all of it but ClearFolder, 2 and above add
// ClearFolder too. Dragging uses the full mode.
inline constexpr int kExchangeModeQuery = 0, kExchangeModeFull = 65535;

// The most rules one record may add to an item. The format itself sets no limit; this only
// bounds the memory a hostile block can make the reader take.
inline constexpr std::size_t kExchangeMaxRules = 10000;

// Writes one "<URL>" ... "</URL>" record. Line breaks inside text values are written as blanks
// so that a value can never start a line of its own. False when the stream failed (the record
// may then be incomplete).
bool WriteItem(std::ostream& out, const UrlItem& item, int mode);

// "<URLIST>", "<VERSION 1.0/>", the records, "</URLIST>" (no line feed after the last line).
bool WriteBlock(std::ostream& out, const std::vector<UrlItem>& items, int mode);

// Reads records one after another from a text. The text is not copied: it must outlive the
// reader.
class ExchangeReader {
public:
    explicit ExchangeReader(std::string_view text) : m_text(text) {}
    explicit ExchangeReader(const char* text) : m_text(text) {}
    // A temporary string would be gone before the first ReadItem.
    explicit ExchangeReader(std::string&&) = delete;

    // Reads lines from where the previous call stopped up to a "</URL>" line (any case), a
    // "</URLIST" line (this case only) or the end of the text, filling the fields whose tags
    // it meets; other fields keep what the caller put there, except lastDL, which starts at
    // 1990-01-01. A LAST date that does not parse gives now (an empty one leaves 1990-01-01).
    // True when the record was found (a "<URL>" line, any case, or an HREF line).
    bool ReadItem(UrlItem& item, std::time_t now);

    // True when every line of the text has been read.
    bool AtEnd() const { return m_pos >= m_text.size(); }

private:
    // The next line without its line feed and a carriage return before it; advances m_pos.
    std::string_view NextLine();

    std::string_view m_text;
    std::size_t m_pos = 0;
};

// Every record of a block, each read into a fresh item, up to the first call that finds none.
std::vector<UrlItem> ReadBlock(std::string_view text, std::time_t now);

}  // namespace kov
