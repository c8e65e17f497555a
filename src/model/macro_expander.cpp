#include "model/macro_expander.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "core/text/text_util.h"
#include "model/url_parts.h"
#include "platform/clock.h"

namespace kov {

namespace {

// Intermediate texts are kept below this, so a hostile template or address (thousands of
// macros, a megabyte of text) costs a bounded amount of work. Real results are far shorter.
constexpr std::size_t kWorkLimit = 64 * 1024;

bool IsSeparator(char c) {
    return c == '/' || c == '\\';
}

// One path component taken from an address: separators, control characters, shell
// metacharacters and the components "." and ".." are neutralised.
std::string SafeComponent(std::string_view value) {
    std::string out = NeutraliseNameChars(value);
    for (char& c : out) {
        if (IsSeparator(c)) c = '_';
    }
    if (out == "." || out == "..") out = "_";
    return out;
}

// A folder path taken from an address: its ".." components become "_", control characters
// and shell metacharacters too.
std::string SafePath(std::string_view raw) {
    const std::string safe = NeutraliseNameChars(raw);
    const std::string_view value = safe;
    std::string out;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = start;
        while (end < value.size() && !IsSeparator(value[end]))
            ++end;
        std::string_view part = value.substr(start, end - start);
        out += part == ".." ? std::string_view("_") : part;
        if (end < value.size()) out += value[end];
        start = end + 1;
    }
    return out;
}

struct UrlValues {
    std::string site, urlSite, subdomain, domain, path, object;
};

bool ComputeUrlValues(std::string_view url, const MacroContext& context, UrlValues& v) {
    if (IStartsWith(url, "file://")) {
        std::string_view rest = url.substr(7);
        // A network path: "file://\\server\share\...".
        if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) rest.remove_prefix(2);
        const std::size_t siteEnd = std::min(rest.find_first_of("/\\"), rest.size());
        v.site = std::string(rest.substr(0, siteEnd));
        std::string_view remaining = rest.substr(siteEnd);
        const std::size_t last = remaining.find_last_of("/\\:");
        const std::size_t split = last == std::string_view::npos ? 0 : last + 1;
        v.path = std::string(remaining.substr(0, split));
        v.object = std::string(remaining.substr(split));
    } else {
        UrlParts parts;
        if (!SplitUrl(url, parts, true)) return false;
        v.site = parts.host;
        const std::size_t last = parts.object.rfind('/');
        if (last == std::string::npos) {
            v.object = parts.object;
        } else {
            v.path = parts.object.substr(0, last);
            v.object = parts.object.substr(last + 1);
        }
        const std::size_t lastDot = v.site.rfind('.');
        const std::size_t secondDot = lastDot == std::string::npos || lastDot == 0
                                          ? std::string::npos
                                          : v.site.rfind('.', lastDot - 1);
        if (secondDot == std::string::npos) {
            v.domain = v.site;
        } else {
            v.domain = v.site.substr(secondDot + 1);
            v.subdomain = v.site.substr(0, secondDot);
        }
    }
    v.site = SafeComponent(v.site);
    v.domain = SafeComponent(v.domain);
    v.subdomain = SafeComponent(v.subdomain);
    v.object = SafeComponent(v.object);
    v.path = SafePath(v.path);

    // Scheme and host: cut before the first '/' after "http://" or "ftp://"; "https://" is
    // one longer, which only counts when https is enabled.
    const std::size_t from = context.enableHttps && IStartsWith(url, "https://") ? 8 : 7;
    const std::size_t slash = url.size() > from ? url.find('/', from) : std::string_view::npos;
    v.urlSite = std::string(url.substr(0, slash));
    return true;
}

// Every occurrence of name (ignoring case) replaced by value, left to right, without
// rescanning inserted text. Stops growing at limit.
std::string ReplaceAll(const std::string& text, std::string_view name, std::string_view value,
                       std::size_t limit) {
    std::string out;
    std::size_t pos = 0;
    while (out.size() < limit) {
        const std::size_t hit = IFind(text, name, pos);
        if (hit == std::string::npos) {
            out.append(text, pos, std::string::npos);
            break;
        }
        out.append(text, pos, hit - pos);
        out.append(value);
        pos = hit + name.size();
    }
    return out.size() > limit ? CapText(out, limit) : out;
}

std::string Format(const char* format, int a, int b = 0, int c = 0) {
    char buffer[64];
    const int n = std::snprintf(buffer, sizeof buffer, format, a, b, c);
    return n > 0 && static_cast<std::size_t>(n) < sizeof buffer ? std::string(buffer, n)
                                                                : std::string();
}

}  // namespace

std::string CollapseSeparators(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const char c = text[i];
        if (!IsSeparator(c)) {
            out += c;
            ++i;
            continue;
        }
        std::size_t end = i;
        while (end < text.size() && text[end] == c)
            ++end;
        if (c == '/' && i > 0 && text[i - 1] == ':')
            out.append(text.substr(i, end - i));
        else
            out += c;
        i = end;
    }
    return out;
}

bool ExpandMacros(std::string& out, std::size_t capacity, std::string_view url,
                  std::string_view templ, unsigned macroSet, const MacroContext& context) {
    UrlValues v;
    const bool haveUrl = !url.empty();
    if (haveUrl && !ComputeUrlValues(url, context, v)) return false;

    const CalendarTime now = LocalTime(context.now);
    const std::string date = Format("%d.%02d.%02d", now.year, now.month, now.day);
    const std::string time = Format("%02d:%02d", now.hour, now.minute);
    const std::string year = Format("%d", now.year);
    const std::string month = Format("%02d", now.month);
    const std::string day = Format("%02d", now.day);

    struct Macro {
        std::string_view name;
        unsigned bits;
        bool fromUrl;
        std::string_view value;
    };
    const std::array<Macro, 17> macros = {{
        {"{URL}", kMacroUrl, true, url},
        {"{SITE}", kMacroSite, true, v.site},
        {"{URLSITE}", kMacroUrlSite, true, v.urlSite},
        {"{SUBDOMAIN}", kMacroSubdomain, true, v.subdomain},
        {"{DOMAIN}", kMacroSite | kMacroSubdomain, true, v.domain},
        {"{PATH}", kMacroPath, true, v.path},
        {"{OBJECT}", kMacroObject, true, v.object},
        {"{DATE}", kMacroDate, false, date},
        {"{TIME}", kMacroTime, false, time},
        {"{YYYY}", kMacroObject | kMacroTime, false, year},
        {"{MM}", kMacroMonth, false, month},
        {"{DD}", kMacroDay, false, day},
        {"{APPFOLDER}", kMacroDay | kMacroListFolder, false, context.appFolder},
        {"{APPDRIVE}", kMacroDay | kMacroListFolder, false, context.appDrive},
        {"{LISTFOLDER}", kMacroListFolder, false, context.listFolder},
        {"{LIST}", kMacroList, false, context.listName},
        {"{MRU}", kMacroMru, false, context.mru},
    }};

    const std::size_t limit = capacity < kWorkLimit ? kWorkLimit : capacity;
    std::string text = CapText(templ, limit);
    for (const Macro& m : macros) {
        if ((macroSet & m.bits) == 0 || (m.fromUrl && !haveUrl)) continue;
        if (IFind(text, m.name) == std::string::npos) continue;
        text = ReplaceAll(text, m.name, m.value, limit);
    }
    out = CapText(CollapseSeparators(text), capacity);
    return true;
}

bool HasUrlMacros(std::string_view text) {
    for (const std::string_view name :
         {"{URL}", "{SITE}", "{URLSITE}", "{SUBDOMAIN}", "{DOMAIN}", "{PATH}", "{OBJECT}"}) {
        if (IFind(text, name) != std::string::npos) return true;
    }
    return false;
}

}  // namespace kov
