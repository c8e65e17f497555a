// What POP3 and SMTP servers answer, as the clients frame and read it. The input arrives in
// pieces of a size the first byte picks, the way a socket delivers it: the reply found piece
// by piece must be the one found in the whole text. A retrieved message unstuffed and stuffed
// again reads back the same, and the numbers of STAT and LIST are in range.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "net/mail/mail_reply.h"

namespace {

constexpr std::size_t kNone = std::string::npos;
constexpr long long kMaxMessages = 1000000;

std::string Stuffed(const std::string& body) {
    std::string out = "+OK\r\n";
    for (std::size_t start = 0; start < body.size();) {
        std::size_t next = body.find("\r\n", start);
        next = next == kNone ? body.size() : next + 2;
        if (body[start] == '.') out += '.';
        out.append(body, start, next - start);
        start = next;
    }
    return out + ".\r\n";
}

std::size_t Pop3InPieces(std::string_view text, bool multiLine, std::size_t piece) {
    std::size_t searchFrom = 0;
    for (std::size_t have = std::min(piece, text.size());;
         have = std::min(have + piece, text.size())) {
        const std::size_t stop = kov::Pop3ReplyEnd(text.substr(0, have), multiLine, searchFrom);
        if (stop != kNone || have == text.size()) return stop;
    }
}

void CheckPop3(std::string_view text, bool multiLine, std::size_t piece) {
    std::size_t searchFrom = 0;
    const std::size_t whole = kov::Pop3ReplyEnd(text, multiLine, searchFrom);
    kov::fuzz::Check(Pop3InPieces(text, multiLine, piece) == whole,
                     "a POP3 reply ends in the same place however it arrives");
    if (whole == kNone) return;
    const std::string reply(text.substr(0, whole));
    kov::fuzz::Check(reply.ends_with("\r\n"), "a POP3 reply ends with its line");
    long long first = 0;
    long long second = 0;
    if (kov::Pop3ReplyOk(reply) &&
        kov::ParsePop3Pair(std::string_view(reply).substr(3), kMaxMessages, first, second))
        kov::fuzz::Check(first >= 0 && first <= kMaxMessages && second >= 0, "STAT in range");
    if (!multiLine || !kov::Pop3ReplyOk(reply)) return;
    const std::string body = kov::Pop3Unstuff(reply);
    kov::fuzz::Check(kov::Pop3Unstuff(Stuffed(body)) == body, "unstuffing undoes stuffing");
    const std::vector<long long> sizes = kov::ParsePop3Listing(body, kMaxMessages);
    kov::fuzz::Check(sizes.size() <= static_cast<std::size_t>(kMaxMessages), "LIST count");
    for (const long long size : sizes)
        kov::fuzz::Check(size >= 0, "LIST sizes");
}

void CheckSmtp(std::string_view text, std::size_t piece) {
    const std::size_t whole = kov::SmtpReplyEnd(text);
    std::size_t found = kNone;
    for (std::size_t have = std::min(piece, text.size()); found == kNone;
         have = std::min(have + piece, text.size())) {
        found = kov::SmtpReplyEnd(text.substr(0, have));
        if (have == text.size()) break;
    }
    kov::fuzz::Check(found == whole, "an SMTP reply ends in the same place however it arrives");
    if (whole == kNone) return;
    const std::string_view reply = text.substr(0, whole);
    const std::size_t lastLine = reply.rfind("\r\n", reply.size() - 3);
    const std::string_view last = reply.substr(lastLine == kNone ? 0 : lastLine + 2, reply.size());
    kov::fuzz::Check(last.size() == 5 || (last.size() > 5 && last[3] == ' '),
                     "an SMTP reply ends with a final line");
    for (const std::string& extension : kov::SmtpExtensions(reply)) {
        kov::fuzz::Check(extension.find("\r\n") == std::string::npos, "an extension is one line");
        for (const char c : extension)
            kov::fuzz::Check(c < 'a' || c > 'z', "extensions in upper case");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::size_t piece = (data[0] & 63) + 1;
    const std::string_view text = kov::fuzz::AsText(data + 1, size - 1);
    CheckPop3(text, false, piece);
    CheckPop3(text, true, piece);
    CheckSmtp(text, piece);
    return 0;
}
