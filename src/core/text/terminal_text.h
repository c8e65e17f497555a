#pragma once

#include <string>
#include <string_view>

namespace kov {

// Text made safe to print on a terminal. Names and messages can come from outside (a mailed
// item, a server's reply), and an escape sequence in them would move the cursor, rewrite what
// is shown or retitle the window. Every control character (C0, DEL, C1) becomes '?', except a
// tab and a line break, which become a blank in a one-line field; bytes that are not UTF-8
// become U+FFFD. Multi-line text keeps its tabs and line breaks ("\r\n" as "\n").
std::string TerminalSafe(std::string_view text, bool multiLine = false);

// A JSON text as the library writes it (control characters below 0x20 already escaped, bad
// UTF-8 replaced) with DEL and the C1 controls escaped as well; the value stays the same.
std::string TerminalSafeJson(std::string_view json);

}  // namespace kov
