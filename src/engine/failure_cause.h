#pragma once

#include <string>
#include <string_view>

namespace kov {

// A failure's cause as a log line shows it in parentheses: one line of printable text, cut to
// kMaxCauseLength bytes. Much of it comes from servers (status reasons, FTP replies), so
// control characters become blanks and runs of blanks one.
inline constexpr std::size_t kMaxCauseLength = 160;
std::string ShortCause(std::string_view raw);

// The system's text for an errno value ("Permission denied"); empty for 0.
std::string SystemErrorText(int error);

}  // namespace kov
