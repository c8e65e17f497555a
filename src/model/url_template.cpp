#include "model/url_template.h"

#include <array>
#include <cstdio>

#include "core/text/text_util.h"
#include "platform/clock.h"

namespace kov {

namespace {

constexpr std::array<const char*, 12> kMonthNames = {
    "january", "february", "march",     "april",   "may",      "june",
    "july",    "august",   "september", "october", "november", "december"};

template <typename... Args>
void AppendFormatted(std::string& out, const char* format, Args... args) {
    char buffer[32];
    const int n = std::snprintf(buffer, sizeof buffer, format, args...);
    if (n > 0 && static_cast<std::size_t>(n) < sizeof buffer) out.append(buffer, n);
}

void AppendPadded(std::string& out, int width, std::int32_t number) {
    AppendFormatted(out, "%0*d", width, static_cast<int>(number));
}

void AppendHex(std::string& out, int width, std::int32_t number, bool upper) {
    AppendFormatted(out, upper ? "%0*X" : "%0*x", width,
                    static_cast<unsigned>(static_cast<std::uint32_t>(number)));
}

// The character of code 33..249: ASCII as is, 128..249 as the Latin-1 character in UTF-8
// so that the text stays valid UTF-8.
void AppendCharCode(std::string& out, std::int32_t code) {
    if (code < 33 || code > 249) return;
    if (code < 128) {
        out += static_cast<char>(code);
    } else {
        out += static_cast<char>(0xC0 | (code >> 6));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

void AppendMonthName(std::string& out, int month, bool capital, bool threeLetters) {
    if (month < 1 || month > 12) return;
    std::string name = kMonthNames[month - 1];
    if (threeLetters) name.resize(3);
    if (capital) name[0] = static_cast<char>(name[0] - 'a' + 'A');
    out += name;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

// Days from 1 January 1970 to the given civil date (proleptic Gregorian).
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<long long>(doe) - 719468;
}

// What the tokens of one expansion are made of.
struct TokenInput {
    CalendarTime c;
    std::time_t moment;
    std::int32_t number;
    bool allowDateTokens;
};

// The calendar fields: the upper-case letter pads to two digits, the lower-case one does not.
struct FieldToken {
    char letter;  // lower case
    bool date;    // produces nothing without allowDateTokens
    int CalendarTime::*field;
};
constexpr FieldToken kFieldTokens[] = {
    {'d', true, &CalendarTime::day},     {'m', true, &CalendarTime::month},
    {'h', false, &CalendarTime::hour},   {'t', false, &CalendarTime::minute},
    {'s', false, &CalendarTime::second},
};

bool AppendCalendarField(std::string& out, char t, const TokenInput& in) {
    if (t == 'Y') {
        AppendFormatted(out, "%04d", in.c.year);
        return true;
    }
    if (t == 'y') {
        AppendFormatted(out, "%02d", ((in.c.year % 100) + 100) % 100);
        return true;
    }
    for (const FieldToken& token : kFieldTokens) {
        if (t != token.letter && t != token.letter - 'a' + 'A') continue;
        if (!token.date || in.allowDateTokens) {
            AppendFormatted(out, t == token.letter ? "%d" : "%02d", in.c.*token.field);
        }
        return true;
    }
    return false;
}

// %u %U decimal, %x %X hexadecimal, %c %C the character of that code.
bool AppendNumber(std::string& out, char t, std::int32_t number) {
    if (t == 'u' || t == 'U') {
        AppendFormatted(out, "%d", static_cast<int>(number));
    } else if (t == 'x' || t == 'X') {
        AppendHex(out, 0, number, t == 'X');
    } else if (t == 'c' || t == 'C') {
        AppendCharCode(out, number);
    } else {
        return false;
    }
    return true;
}

// %ku %kU %kx %kX: the number zero-padded to k digits.
bool IsPaddedToken(char width, char kind) {
    return IsDigit(width) && (kind == 'u' || kind == 'U' || kind == 'x' || kind == 'X');
}

bool AppendPaddedNumber(std::string& out, char width, char kind, std::int32_t number) {
    if (!IsPaddedToken(width, kind)) return false;
    if (kind == 'u' || kind == 'U')
        AppendPadded(out, width - '0', number);
    else
        AppendHex(out, width - '0', number, kind == 'X');
    return true;
}

// %ND %Nd day of the year (%ND three digits), %NW %Nw week of the year (%NW two digits).
bool AppendYearPosition(std::string& out, char k, std::time_t moment) {
    if (k != 'D' && k != 'd' && k != 'W' && k != 'w') return false;
    const YearPosition p = PositionInYear(moment);
    const int value = (k == 'D' || k == 'd') ? p.dayIndex + 1 : p.week;
    const char* format = k == 'D' ? "%03d" : k == 'W' ? "%02d" : "%d";
    AppendFormatted(out, format, static_cast<int>(value));
    return true;
}

// Expands the token whose letter is templ[i]; returns the index of its last character.
std::size_t ExpandToken(std::string_view templ, std::size_t i, const TokenInput& in,
                        std::string& out) {
    const char t = templ[i];
    const char next = i + 1 < templ.size() ? templ[i + 1] : '\0';
    if (t == '%') {
        out += '%';
        return i;
    }
    if (AppendCalendarField(out, t, in) || AppendNumber(out, t, in.number)) return i;
    if (t == 'V' || t == 'v') {
        const bool three = next == '3';
        if (in.allowDateTokens) AppendMonthName(out, in.c.month, t == 'V', three);
        return three ? i + 1 : i;
    }
    // %N without D or W is consumed and produces nothing.
    if (t == 'N' || t == 'n') return AppendYearPosition(out, next, in.moment) ? i + 1 : i;
    if (AppendPaddedNumber(out, t, next, in.number)) return i + 1;
    // Not a token: keep the '%' and read the letter again as text (a digit included, which
    // comes out as text either way).
    out += '%';
    return i - 1;
}

}  // namespace

YearPosition PositionInYear(std::time_t moment) {
    const CalendarTime c = LocalTime(moment);
    CalendarTime jan1 = c;
    jan1.month = 1;
    jan1.day = 1;
    const std::time_t start = MakeTime(jan1);
    long long d;
    int jan1Weekday;
    if (start != static_cast<std::time_t>(-1) && start <= moment) {
        d = static_cast<long long>(moment - start) / 86400;
        jan1Weekday = LocalTime(start).dayOfWeek;
    } else {
        // Not representable: fall back to plain calendar arithmetic.
        d = DaysFromCivil(c.year, c.month, c.day) - DaysFromCivil(c.year, 1, 1);
        const long long days = DaysFromCivil(c.year, 1, 1);
        jan1Weekday = static_cast<int>(((days % 7) + 7 + 4) % 7);  // 1970-01-01 was a Thursday
    }
    YearPosition p;
    p.dayIndex = static_cast<int>(d);
    const long long w = d + jan1Weekday + 1;
    p.week = static_cast<int>((w + 6) / 7);
    return p;
}

std::string ExpandTemplate(std::string_view templ, std::time_t moment, std::int32_t number,
                           bool allowDateTokens, std::size_t capacity) {
    const TokenInput in{LocalTime(moment), moment, number, allowDateTokens};
    std::string out;
    const std::size_t n = templ.size();
    // Once past the capacity nothing later can change the kept prefix.
    for (std::size_t i = 0; i < n && out.size() <= capacity; ++i) {
        if (templ[i] != '%') {
            out += templ[i];
            continue;
        }
        if (i + 1 >= n) {
            out += '%';
            break;
        }
        i = ExpandToken(templ, i + 1, in, out);
    }
    return CapText(out, capacity);
}

std::string EscapeTemplateText(std::string_view text) {
    static constexpr std::string_view kTokenLetters = "%DdMmVvYyNnHhTtSsUuXxCc";
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        out += text[i];
        if (text[i] != '%' || i + 1 >= text.size()) continue;
        const char t = text[i + 1];
        const bool padded = i + 2 < text.size() && IsPaddedToken(t, text[i + 2]);
        if (kTokenLetters.find(t) != std::string_view::npos || padded) out += '%';
    }
    return out;
}

bool ExpandNumberTokens(std::string_view templ, std::int32_t number, std::string& out,
                        std::size_t capacity) {
    std::string result;
    bool replaced = false;
    const std::size_t n = templ.size();
    for (std::size_t i = 0; i < n && result.size() <= capacity; ++i) {
        if (templ[i] != '%' || i + 1 >= n) {
            result += templ[i];
            continue;
        }
        const char t = templ[i + 1];
        if (t == 'u' || t == 'U' || t == 'l' || t == 'L') {
            AppendFormatted(result, "%d", static_cast<int>(number));
            replaced = true;
            ++i;
        } else if (t == 'x' || t == 'X') {
            AppendHex(result, 0, number, t == 'X');
            replaced = true;
            ++i;
        } else if (i + 2 < n && AppendPaddedNumber(result, t, templ[i + 2], number)) {
            replaced = true;
            i += 2;
        } else if (t == '%') {
            // "%%" is an escaped percent sign of the template; it stays for ExpandTemplate.
            result += "%%";
            ++i;
        } else {
            result += '%';
        }
    }
    out = CapText(result, capacity);
    return replaced;
}

}  // namespace kov
