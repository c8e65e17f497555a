#include "model/url_template_parse.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <limits>

#include "core/text/text_util.h"
#include "model/content_category.h"
#include "platform/clock.h"

namespace kov {

namespace {

enum class Field { Day, Month, Year, ShortYear };

struct DateForm {
    std::array<Field, 3> order;
    const char* separator;
    const char* templ;
};

constexpr std::array<DateForm, 13> kDateForms = {{
    {{Field::Day, Field::Month, Field::Year}, ".", "%D.%M.%Y"},
    {{Field::Day, Field::Month, Field::Year}, "-", "%D-%M-%Y"},
    {{Field::Month, Field::Day, Field::Year}, ".", "%M.%D.%Y"},
    {{Field::Day, Field::Month, Field::Year}, "", "%D%M%Y"},
    {{Field::Month, Field::Day, Field::Year}, "", "%M%D%Y"},
    {{Field::Year, Field::Month, Field::Day}, "", "%Y%M%D"},
    {{Field::Month, Field::Day, Field::Year}, "-", "%M-%D-%Y"},
    {{Field::Year, Field::Month, Field::Day}, ".", "%Y.%M.%D"},
    {{Field::Year, Field::Month, Field::Day}, "-", "%Y-%M-%D"},
    {{Field::Day, Field::Month, Field::ShortYear}, "-", "%D-%M-%y"},
    {{Field::Day, Field::Month, Field::ShortYear}, "", "%D%M%y"},
    {{Field::Month, Field::Day, Field::ShortYear}, "-", "%M-%D-%y"},
    {{Field::Month, Field::Day, Field::ShortYear}, "", "%M%D%y"},
}};

std::string FieldText(Field f, const CalendarTime& c) {
    char buffer[16];
    int n = 0;
    switch (f) {
        case Field::Day:
            n = std::snprintf(buffer, sizeof buffer, "%02d", c.day);
            break;
        case Field::Month:
            n = std::snprintf(buffer, sizeof buffer, "%02d", c.month);
            break;
        case Field::Year:
            n = std::snprintf(buffer, sizeof buffer, "%d", c.year);
            break;
        case Field::ShortYear:
            n = std::snprintf(buffer, sizeof buffer, "%02d", ((c.year % 100) + 100) % 100);
            break;
    }
    return n > 0 && static_cast<std::size_t>(n) < sizeof buffer ? std::string(buffer, n)
                                                                : std::string();
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool HasKnownScheme(std::string_view text, bool enableHttps) {
    return IStartsWith(text, "ftp://") || IStartsWith(text, "http://") ||
           IStartsWith(text, "file://") || (enableHttps && IStartsWith(text, "https://"));
}

std::string_view LastComponent(std::string_view text) {
    const std::size_t slash = text.rfind('/');
    return slash == std::string_view::npos ? text : text.substr(slash + 1);
}

}  // namespace

bool FindDateTemplate(std::string_view url, std::time_t now, std::string& result) {
    const CalendarTime c = LocalTime(now);
    for (const DateForm& form : kDateForms) {
        std::string text = FieldText(form.order[0], c);
        text += form.separator;
        text += FieldText(form.order[1], c);
        text += form.separator;
        text += FieldText(form.order[2], c);
        if (url.find(text) == std::string_view::npos) continue;
        std::string out;
        std::size_t pos = 0;
        for (std::size_t hit; (hit = url.find(text, pos)) != std::string_view::npos;
             pos = hit + text.size()) {
            out.append(url.substr(pos, hit - pos));
            out += form.templ;
        }
        out.append(url.substr(pos));
        result = std::move(out);
        return true;
    }
    return false;
}

bool FindNumberSeries(std::string_view url, std::string& result, std::int32_t& number,
                      int maxDigits) {
    if (maxDigits < 1) maxDigits = 1;
    if (maxDigits > 9) maxDigits = 9;  // more would not fit the number
    std::size_t end = url.size();
    if (IEndsWith(url, ".mp3")) end -= 4;
    while (end > 0 && !IsDigit(url[end - 1]))
        --end;
    if (end == 0) return false;
    std::size_t begin = end;
    while (begin > 0 && IsDigit(url[begin - 1]))
        --begin;
    if (begin < 7 || url[begin - 1] == ':') return false;
    if (end - begin > static_cast<std::size_t>(maxDigits)) begin = end - maxDigits;

    std::int32_t value = 0;
    for (std::size_t i = begin; i < end; ++i)
        value = value * 10 + (url[i] - '0');
    std::string out(url.substr(0, begin));
    if (url[begin] == '0')
        out += "%" + std::to_string(end - begin) + "u";
    else
        out += "%u";
    out.append(url.substr(end));
    result = std::move(out);
    number = value;
    return true;
}

bool ParseUrlToTemplate(std::string_view url, UrlItem& item, std::time_t now,
                        std::int32_t defaultStopNumber, bool enableHttps) {
    if (url.size() > kParseUrlLimit) return false;
    std::string text(url);
    std::string dated;
    if (FindDateTemplate(url, now, dated)) {
        text = dated;
        item.Url = CapText(text, UrlItem::kUrlCapacity);
        item.interval = 0;
    }
    text = text.substr(0, text.find_first_of("\r\n"));
    if (!HasKnownScheme(text, enableHttps)) return false;

    std::string series;
    std::int32_t number = 0;
    if (FindNumberSeries(text, series, number, 4)) {
        item.Url = CapText(series, UrlItem::kUrlCapacity);
        item.CurrentNum = number;
        if (defaultStopNumber != 0) {
            const long long stop = static_cast<long long>(number) + defaultStopNumber;
            // The top of the range stays free, so that stepping past the last number is safe.
            item.StopNumber = static_cast<std::int32_t>(
                std::clamp<long long>(stop, 0, std::numeric_limits<std::int32_t>::max() - 1));
        } else {
            item.StopNumber = 0;
        }
        item.NumBased = 1;
    }

    const bool http =
        IStartsWith(text, "http://") || (enableHttps && IStartsWith(text, "https://"));
    item.ConType = static_cast<std::int16_t>(http ? GuessCategory(ExtensionOf(LastComponent(text)))
                                                  : kCategoryAny);
    return true;
}

}  // namespace kov
