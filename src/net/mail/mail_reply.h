#pragma once

// The framing and reading of POP3 and SMTP replies, apart from the sockets they arrive on, so
// that what a server sends can be checked byte for byte.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

// Where the first complete POP3 reply in pending ends (just past it), npos while it is
// incomplete. An error reply is one line; a multi-line reply ends with ".\r\n" on a line of its
// own. searchFrom carries the scan position of a multi-line reply between calls (start at 0).
std::size_t Pop3ReplyEnd(std::string_view pending, bool multiLine, std::size_t& searchFrom);
// True when the reply is "+OK" (any case).
bool Pop3ReplyOk(std::string_view reply);
// The lines of a multi-line reply after its first one, with the byte-stuffing undone.
std::string Pop3Unstuff(std::string_view reply);
// Two non-negative decimal numbers at text, a count (or number) of messages up to maxFirst and
// a size; a number out of range (a hostile or broken server) is refused rather than wrapped.
bool ParsePop3Pair(std::string_view text, long long maxFirst, long long& first, long long& second);
// The sizes of a LIST answer (unstuffed), by message number - 1; numbers up to maxNumber.
std::vector<long long> ParsePop3Listing(std::string_view lines, long long maxNumber);

// Where the first complete SMTP reply in pending ends (just past its last line: three digits
// and a blank or nothing), npos while it is incomplete.
std::size_t SmtpReplyEnd(std::string_view pending);
// The extensions an EHLO reply offers: its lines after the first, without the code, upper case.
std::vector<std::string> SmtpExtensions(std::string_view reply);

}  // namespace kov
