#include "engine/failure_cause.h"

#include <cstring>

namespace kov {

std::string ShortCause(std::string_view raw) {
    std::string out;
    for (const char ch : raw) {
        const auto c = static_cast<unsigned char>(ch);
        const bool blank = c < 0x20 || c == 0x7f || c == ' ';
        if (blank) {
            if (!out.empty() && out.back() != ' ') out += ' ';
        } else {
            out += ch;
        }
    }
    while (!out.empty() && out.back() == ' ')
        out.pop_back();
    if (out.size() > kMaxCauseLength) {
        // Cut at a character boundary: a UTF-8 continuation byte never starts the tail.
        std::size_t cut = kMaxCauseLength;
        while (cut > 0 && (static_cast<unsigned char>(out[cut]) & 0xC0) == 0x80)
            --cut;
        out.resize(cut);
        out += "...";
    }
    return out;
}

std::string SystemErrorText(int error) {
    if (error == 0) return {};
    char buffer[256];
    // The GNU strerror_r returns its text, which need not be in the buffer.
    return strerror_r(error, buffer, sizeof buffer);
}

}  // namespace kov
