#include "core/text/text_util.h"

#include <cmath>
#include <cstdint>
#include <limits>

namespace kov {

std::size_t Utf8CutLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    std::size_t cut = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the lead byte of the split sequence.
    std::size_t back = 0;
    while (cut > 0 && back < 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        --cut;
        ++back;
    }
    if (back == 3 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) {
        // Not valid UTF-8 here: any cut is as good as another.
        return maxBytes;
    }
    return cut;
}

std::string CapText(std::string_view text, std::size_t capacity) {
    return std::string(text.substr(0, Utf8CutLength(text, capacity)));
}

char ToLowerAscii(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
}

std::string ToLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = ToLowerAscii(c);
    return out;
}

bool IEquals(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (ToLowerAscii(a[i]) != ToLowerAscii(b[i])) return false;
    }
    return true;
}

std::size_t IFind(std::string_view haystack, std::string_view needle, std::size_t from) {
    if (needle.size() > haystack.size()) return std::string_view::npos;
    for (std::size_t i = from; i + needle.size() <= haystack.size(); ++i) {
        if (IEquals(haystack.substr(i, needle.size()), needle)) return i;
    }
    return std::string_view::npos;
}

bool IStartsWith(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() && IEquals(text.substr(0, prefix.size()), prefix);
}

bool IEndsWith(std::string_view text, std::string_view suffix) {
    return text.size() >= suffix.size() &&
           IEquals(text.substr(text.size() - suffix.size()), suffix);
}

std::string_view TrimBlanks(std::string_view text) {
    std::size_t b = 0;
    std::size_t e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t'))
        ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t'))
        --e;
    return text.substr(b, e - b);
}

namespace {

// Skips C-style leading white space and reads the sign; returns the position of the first digit.
std::size_t SkipToDigits(std::string_view text, bool& negative) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    return i;
}

}  // namespace

std::int32_t ParseInt32(std::string_view text) {
    bool negative = false;
    std::int64_t value = 0;
    for (std::size_t i = SkipToDigits(text, negative); i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') break;
        value = value * 10 + (text[i] - '0');
        if (value > std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1) {
            value = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
        }
    }
    if (negative) value = -value;
    if (value > std::numeric_limits<std::int32_t>::max()) {
        return std::numeric_limits<std::int32_t>::max();
    }
    return static_cast<std::int32_t>(value);
}

std::uint64_t ParseUint64(std::string_view text) {
    bool negative = false;
    std::uint64_t value = 0;
    constexpr std::uint64_t kMax = std::numeric_limits<std::uint64_t>::max();
    for (std::size_t i = SkipToDigits(text, negative); i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') break;
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        if (value > (kMax - digit) / 10) return negative ? 0 : kMax;
        value = value * 10 + digit;
    }
    return negative ? 0 : value;
}

namespace {

std::string GroupUnsigned(std::uint64_t value, char separator) {
    std::string digits = std::to_string(value);
    if (separator == '\0') return digits;
    std::string out;
    out.reserve(digits.size() + digits.size() / 3);
    const std::size_t head = digits.size() % 3 == 0 ? 3 : digits.size() % 3;
    out.append(digits, 0, head);
    for (std::size_t i = head; i < digits.size(); i += 3) {
        out += separator;
        out.append(digits, i, 3);
    }
    return out;
}

}  // namespace

std::string GroupDigits(std::int64_t value, char separator) {
    if (value < 0) {
        // Negate in unsigned arithmetic so that the smallest value survives.
        std::string out = "-";
        out += GroupUnsigned(0 - static_cast<std::uint64_t>(value), separator);
        return out;
    }
    return GroupUnsigned(static_cast<std::uint64_t>(value), separator);
}

std::string GroupDigits(double value, int decimals, char separator) {
    if (!std::isfinite(value)) return "0";
    if (decimals < 0) decimals = 0;
    if (decimals > 9) decimals = 9;
    const bool negative = value < 0;
    std::uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i)
        scale *= 10;
    // Half up on the magnitude; the small bias absorbs binary representation error
    // (2.675 is stored as 2.67499999...).
    const long double scaled = std::fabs(static_cast<long double>(value)) * scale;
    constexpr long double kMaxScaled = 1.8e19L;
    const std::uint64_t units = scaled >= kMaxScaled
                                    ? std::numeric_limits<std::uint64_t>::max()
                                    : static_cast<std::uint64_t>(scaled + 0.5L + 1e-9L);
    const std::uint64_t whole = units / scale;
    std::string out;
    if (negative && units != 0) out += '-';
    out += GroupUnsigned(whole, separator);
    if (decimals > 0) {
        std::string fraction = std::to_string(units % scale);
        out += '.';
        out.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
        out += fraction;
    }
    return out;
}

bool IsUnsafeNameChar(char c) {
    const auto u = static_cast<unsigned char>(c);
    return u < 0x20 || u == 0x7F ||
           std::string_view("`$'\";|&<>").find(c) != std::string_view::npos;
}

std::string NeutraliseNameChars(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (IsUnsafeNameChar(c)) c = '_';
    }
    return out;
}

}  // namespace kov
