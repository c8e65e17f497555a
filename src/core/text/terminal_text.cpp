#include "core/text/terminal_text.h"

#include <cstdint>
#include <cstdio>

namespace kov {

namespace {

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD

// Length of the well-formed UTF-8 sequence at text[i] (no overlong forms, no surrogates, at
// most U+10FFFF), or 0 when there is none; sets code to its code point.
std::size_t SequenceAt(std::string_view text, std::size_t i, std::uint32_t& code) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[i + k]); };
    const unsigned char lead = byte(0);
    std::size_t length = 0;
    std::uint32_t min = 0;
    if (lead < 0x80) {
        code = lead;
        return 1;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, code = lead & 0x1F, min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, code = lead & 0x0F, min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, code = lead & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(k) & 0xC0) != 0x80) return 0;
        code = (code << 6) | (byte(k) & 0x3F);
    }
    if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return 0;
    return length;
}

bool IsControl(std::uint32_t code) {
    return code < 0x20 || (code >= 0x7F && code <= 0x9F);
}

// Walks text sequence by sequence: a byte that starts no well-formed sequence becomes U+FFFD,
// every code point goes to emit with the position and length of its bytes.
template <typename Emit>
std::string MapCodePoints(std::string_view text, Emit emit) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::uint32_t code = 0;
        const std::size_t length = SequenceAt(text, i, code);
        if (length == 0) {
            out += kReplacement;
            ++i;
            continue;
        }
        emit(out, code, i, length);
        i += length;
    }
    return out;
}

}  // namespace

std::string TerminalSafe(std::string_view text, bool multiLine) {
    return MapCodePoints(
        text, [&](std::string& out, std::uint32_t code, std::size_t i, std::size_t length) {
            if (!IsControl(code)) {
                out.append(text.substr(i, length));
            } else if (code == '\t' || code == '\n') {
                out += multiLine ? static_cast<char>(code) : ' ';
            } else if (code == '\r') {
                // "\r\n" is one line break; a lone one would send the cursor back over the line.
                const bool lineBreak = i + 1 < text.size() && text[i + 1] == '\n';
                if (!multiLine || !lineBreak) out += multiLine ? '?' : ' ';
            } else {
                out += '?';
            }
        });
}

std::string TerminalSafeJson(std::string_view json) {
    return MapCodePoints(
        json, [&](std::string& out, std::uint32_t code, std::size_t i, std::size_t length) {
            // Below 0x20 the library has escaped all inside strings; what is left is its layout.
            if (code >= 0x7F && IsControl(code)) {
                char escaped[8];
                std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(code));
                out += escaped;
            } else {
                out.append(json.substr(i, length));
            }
        });
}

}  // namespace kov
