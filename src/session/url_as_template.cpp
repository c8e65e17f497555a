#include "session/url_as_template.h"

#include <algorithm>
#include <limits>

#include "core/text/text_util.h"
#include "model/url_template.h"
#include "model/url_template_parse.h"

namespace kov {

namespace {

bool IsHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// The URL without "user:password@": the item keeps them in UserName and UserPsw.
std::string WithoutCredentials(std::string_view url) {
    const std::size_t scheme = url.find("://");
    if (scheme == std::string_view::npos) return std::string(url);
    const std::size_t hostStart = scheme + 3;
    const std::size_t hostEnd = std::min(url.find('/', hostStart), url.size());
    const std::size_t at = url.substr(0, hostEnd).rfind('@');
    if (at == std::string_view::npos || at < hostStart) return std::string(url);
    return std::string(url.substr(0, hostStart)) + std::string(url.substr(at + 1));
}

// Whether the digits that a number search replaced belong to a percent escape ("%20",
// "%A9"): those are not a series.
bool InEscape(std::string_view before, std::string_view after) {
    std::size_t p = 0;
    while (p < before.size() && p < after.size() && before[p] == after[p])
        ++p;
    return (p >= 1 && before[p - 1] == '%') ||
           (p >= 2 && before[p - 2] == '%' && IsHex(before[p - 1]));
}

// The series fields a number series takes from the new-URL defaults.
void StartSeries(UrlItem& item, const NewUrlDefaults& d) {
    item.NumBased = 1;
    item.StopNumber = static_cast<std::int32_t>(
        std::min<std::int64_t>(std::int64_t{item.CurrentNum} + d.StopNumber,
                               std::numeric_limits<std::int32_t>::max() - 1));
    item.Tolerance = d.Tolerance;
}

}  // namespace

std::string TemplateFromUrl(std::string_view url, bool& hasTokens) {
    static constexpr std::string_view kTokenLetters = "DdMmVvYyNnHhTtSsUuXxCc";
    hasTokens = false;
    std::string out;
    for (std::size_t i = 0; i < url.size(); ++i) {
        out += url[i];
        if (url[i] != '%' || i + 1 >= url.size()) continue;
        const char next = url[i + 1];
        const char after = i + 2 < url.size() ? url[i + 2] : '\0';
        if (next == '%') {  // a literal "%" of a template
            out += url[++i];
            hasTokens = true;
        } else if (IsHex(next) && IsHex(after)) {
            // A percent escape; one that would read as a token is kept by doubling its "%".
            if (kTokenLetters.find(next) != std::string_view::npos) out += '%';
        } else if (kTokenLetters.find(next) != std::string_view::npos ||
                   ((next >= '0' && next <= '9') &&
                    std::string_view("uUxX").find(after) != std::string_view::npos)) {
            hasTokens = true;
        }
    }
    return out;
}

std::string MakeTemplateItem(std::string_view url, UrlItem& item, const AppSettings& settings,
                             std::time_t now) {
    const NewUrlDefaults& d = settings.newUrl;
    bool hasTokens = false;
    const std::string templ = TemplateFromUrl(WithoutCredentials(url), hasTokens);
    if (hasTokens) {
        item.Url = CapText(templ, UrlItem::kUrlCapacity);
        // What a parse of the escaped address may have found does not apply to the template.
        item.NumBased = item.CurrentNum = item.StopNumber = item.Tolerance = 0;
        std::string concrete;
        if (ExpandNumberTokens(item.Url, 0, concrete)) StartSeries(item, d);
        return "";
    }
    // With ParseUrl on, the item was parsed when it was made.
    if (d.ParseUrl) return "";
    if (item.Url.size() > kParseUrlLimit) return "\t(too long to look for a date or a number)";
    std::string text = item.Url;
    std::string found;
    const bool dated = FindDateTemplate(text, now, found);
    // interval stays the new-URL default, as when new items are parsed on their way in.
    if (dated) text = found;
    std::int32_t number = 0;
    const bool numbered = FindNumberSeries(text, found, number, 4) && !InEscape(text, found);
    if (numbered) {
        text = found;
        item.CurrentNum = number;
        StartSeries(item, d);
    }
    if (!dated && !numbered) return "\t(no date of today and no number found: taken as it is)";
    item.Url = CapText(text, UrlItem::kUrlCapacity);
    return "";
}

}  // namespace kov
