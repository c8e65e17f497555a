#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace kov {

// The largest length <= maxBytes at which text can be cut without splitting a UTF-8 sequence.
std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes);

// text cut to at most capacity bytes, on a UTF-8 boundary.
std::string CapText(std::string_view text, std::size_t capacity);

// ASCII-only case folding and comparison.
char ToLowerAscii(char c);
std::string ToLowerAscii(std::string_view text);
bool IEquals(std::string_view a, std::string_view b);
// Position of needle in haystack ignoring ASCII case, or npos.
std::size_t IFind(std::string_view haystack, std::string_view needle, std::size_t from = 0);
bool IStartsWith(std::string_view text, std::string_view prefix);
bool IEndsWith(std::string_view text, std::string_view suffix);

// Blanks and tabs removed from both ends.
std::string_view TrimBlanks(std::string_view text);

// A decimal integer read as C's atoi reads it (leading blanks, a sign, digits up to the first
// other character; 0 without digits), saturated to the int32 range.
std::int32_t ParseInt32(std::string_view text);
// The same for unsigned 64-bit values (a leading '-' gives 0).
std::uint64_t ParseUint64(std::string_view text);

// Thousands grouping: an optional "-", the highest group plainly, every further group as
// three digits after the separator ('\0' means none). With decimals > 0, "." and the fraction
// rounded half up to that many digits.
std::string GroupDigits(std::int64_t value, char separator = ',');
std::string GroupDigits(double value, int decimals, char separator = ',');

// True for a character that must not reach a local name taken from outside text: a control
// character or one of the shell's metacharacters ` $ ' " ; | & < >.
bool IsUnsafeNameChar(char c);
// text with each such character replaced by '_'.
std::string NeutraliseNameChars(std::string_view text);

}  // namespace kov
