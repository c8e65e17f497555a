#include "content/html/html_tag.h"

#include "core/text/text_util.h"

namespace kov {

namespace {

// Real tags carry a few dozen attributes; a page of one endless tag must not become millions
// of attribute records. A tag with more is left as it stands.
constexpr std::size_t kMaxAttributes = 256;

}  // namespace

std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from) {
    if (needle.empty()) return from <= text.size() ? from : std::string_view::npos;
    const char lower = ToLowerAscii(needle[0]);
    const char upper = static_cast<char>(lower >= 'a' && lower <= 'z' ? lower - 32 : lower);
    const char firsts[2] = {lower, upper};
    const std::string_view set(firsts, lower == upper ? 1 : 2);
    const std::string_view rest = needle.substr(1);
    std::size_t at = from;
    for (;;) {
        // A single first character is found by memchr.
        at = set.size() == 1 ? text.find(lower, at) : text.find_first_of(set, at);
        if (at == std::string_view::npos || text.size() - at < needle.size())
            return std::string_view::npos;
        if (IEquals(text.substr(at + 1, rest.size()), rest)) return at;
        ++at;
    }
}

std::string AddressOfValue(std::string_view value) {
    std::string out;
    out.reserve(value.size());
    for (std::size_t i = 0; i < value.size(); ++i) {
        out += value[i];
        if (value[i] != '&') continue;
        for (std::string_view entity : {"amp;", "#38;"}) {
            if (IEquals(value.substr(i + 1, entity.size()), entity)) {
                i += entity.size();
                break;
            }
        }
    }
    return out;
}

std::size_t HtmlTag::Read(std::string_view text, std::size_t pos, std::string_view tagName) {
    // The attributes of the tag read before are filled in again: pages read tag after tag of
    // the same shape, and their values then need no new memory.
    std::size_t used = 0;
    const auto done = [&](std::size_t length) {
        attributes.resize(used);
        return length;
    };
    const auto next = [&]() -> TagAttribute& {
        if (used == attributes.size()) attributes.emplace_back();
        TagAttribute& attribute = attributes[used++];
        attribute.valueless = false;
        return attribute;
    };
    selfClosing = false;
    name = ToLowerAscii(tagName);
    if (pos >= text.size() || text[pos] != '<') return done(0);
    std::size_t i = pos + 1;
    if (text.size() - i <= tagName.size() || !IEquals(text.substr(i, tagName.size()), tagName) ||
        !IsTagSpace(text[i + tagName.size()])) {
        return done(0);
    }
    i += tagName.size();
    const std::size_t n = text.size();
    while (i < n) {
        while (i < n && IsTagSpace(text[i]))
            ++i;
        if (i >= n) return done(0);
        if (text[i] == '>') return done(i + 1 - pos);
        if (text[i] == '/') {
            if (i + 1 < n && text[i + 1] == '>') {
                selfClosing = true;
                return done(i + 2 - pos);
            }
            ++i;
            continue;
        }
        const std::size_t nameStart = i;
        while (i < n && !IsTagSpace(text[i]) && text[i] != '=' && text[i] != '>' &&
               !(text[i] == '/' && i + 1 < n && text[i + 1] == '>')) {
            ++i;
        }
        if (used >= kMaxAttributes) return done(0);
        TagAttribute& attribute = next();
        attribute.name.assign(text.substr(nameStart, i - nameStart));
        std::size_t after = i;
        while (after < n && IsTagSpace(text[after]))
            ++after;
        if (after >= n || text[after] != '=') {
            attribute.valueless = true;
            attribute.value.clear();
            continue;
        }
        i = after + 1;
        while (i < n && IsTagSpace(text[i]))
            ++i;
        if (i >= n) return done(0);
        if (text[i] == '"' || text[i] == '\'') {
            const std::size_t close = text.find(text[i], i + 1);
            if (close == std::string_view::npos) return done(0);
            attribute.value.assign(text.substr(i + 1, close - i - 1));
            i = close + 1;
        } else {
            const std::size_t start = i;
            while (i < n && !IsTagSpace(text[i]) && text[i] != '>')
                ++i;
            attribute.value.assign(text.substr(start, i - start));
        }
    }
    return done(0);
}

std::string HtmlTag::Write() const {
    std::string out;
    WriteTo(out);
    return out;
}

void HtmlTag::WriteTo(std::string& out) const {
    out += '<';
    out += name;
    bool lastValueless = false;
    for (const TagAttribute& a : attributes) {
        out += ' ';
        // A value without a name (the page had "a /=v") stays apart from a name before it
        // that had none: "a =v" would read as a's value.
        if (a.name.empty() && lastValueless) out += '/';
        lastValueless = a.valueless;
        out += a.name;
        if (a.valueless) continue;
        // A value that holds double quotes keeps them only inside single quotes.
        const bool hasDouble = a.value.find('"') != std::string::npos;
        if (hasDouble && a.value.find('\'') == std::string::npos) {
            out += "='";
            out += a.value;
            out += '\'';
            continue;
        }
        out += "=\"";
        if (!hasDouble) {
            out += a.value;
        } else {
            for (char c : a.value) {
                if (c == '"')
                    out += "&quot;";
                else
                    out += c;
            }
        }
        out += '"';
    }
    // A last name ending in '/' would turn "/>" into the end of a self-closing tag.
    if (!selfClosing && out.back() == '/') out += ' ';
    out += selfClosing ? "/>" : ">";
}

int HtmlTag::FindAttribute(std::string_view attributeName) const {
    for (std::size_t i = 0; i < attributes.size(); ++i) {
        if (IEquals(attributes[i].name, attributeName)) return static_cast<int>(i);
    }
    return -1;
}

std::string_view HtmlTag::Value(std::string_view attributeName) const {
    const int i = FindAttribute(attributeName);
    return i < 0 ? std::string_view() : std::string_view(attributes[i].value);
}

}  // namespace kov
