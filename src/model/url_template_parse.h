#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

#include "model/url_item.h"

namespace kov {

// Longest address that ParseUrlToTemplate accepts.
inline constexpr std::size_t kParseUrlLimit = 400;

// Looks for today's date (the local date of now) in url in thirteen fixed forms; the first
// form found has every occurrence replaced by its template ("%D.%M.%Y", ...). False when none
// occurs; result is then untouched.
bool FindDateTemplate(std::string_view url, std::time_t now, std::string& result);

// Looks for the last run of decimal digits (before a final ".mp3"), which must start at
// character 7 or later and not follow ':' (a port). At most maxDigits (1..9) of its end are
// taken; result gets the text with them replaced by "%u", or "%<n>u" when they begin with '0'.
// False when nothing is found; result and number are then untouched.
bool FindNumberSeries(std::string_view url, std::string& result, std::int32_t& number,
                      int maxDigits);

// Turns a concrete address into a template in item: a date of today becomes date tokens
// (interval 0), a trailing number a series (NumBased, CurrentNum, StopNumber = number +
// defaultStopNumber when that is not 0). ConType is guessed from the extension for http (and,
// with enableHttps, https) addresses, else 0. Url is changed only when a date or a number is
// found (cut to its capacity). False when url is longer than 400 bytes or does
// not begin with "ftp://", "http://" or "file://" (or "https://" with enableHttps).
bool ParseUrlToTemplate(std::string_view url, UrlItem& item, std::time_t now,
                        std::int32_t defaultStopNumber, bool enableHttps);

}  // namespace kov
