#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace kov {

// Longest expansion kept; longer results are cut on a UTF-8 boundary.
inline constexpr std::size_t kTemplateCapacity = 1023;

// Expands the "%" tokens of a URL, referrer or upload-folder template for one moment (a local
// date and time) and one series number. With allowDateTokens false the day and month tokens
// (%D %d %M %m %V %v) produce nothing; the others are still expanded. Tokens that are consumed
// but not expanded (%C out of 33..249, %N without D or W) produce nothing as well.
std::string ExpandTemplate(std::string_view templ, std::time_t moment, std::int32_t number,
                           bool allowDateTokens, std::size_t capacity = kTemplateCapacity);

// Replaces only the number tokens (%u %U %l %L decimal, %x %X hexadecimal, %ku %kU %kx %kX
// zero-padded to k digits) and copies everything else, date tokens and "%%" included.
// Returns whether any token was replaced.
bool ExpandNumberTokens(std::string_view templ, std::int32_t number, std::string& out,
                        std::size_t capacity = kTemplateCapacity);

// A concrete text made safe to store as a template: every "%" that ExpandTemplate would read
// as the start of a token is doubled, so that escapes such as "%D0" or "%C3" in an address stay
// as they are; other "%" signs ("%20") are left alone, as they expand to themselves.
std::string EscapeTemplateText(std::string_view text);

// Day of the year minus one and week of the year (weeks start on Sunday, week 1 holds
// January 1) of a moment. The day count is taken between time values, so in a daylight-saving
// season it is one less than the calendar day count, as list files made for this rule expect.
struct YearPosition {
    int dayIndex = 0;  // 0 on January 1
    int week = 1;
};
YearPosition PositionInYear(std::time_t moment);

}  // namespace kov
