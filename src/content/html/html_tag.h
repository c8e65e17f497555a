#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

struct TagAttribute {
    std::string name;        // as the page spells it
    std::string value;       // quotes removed
    bool valueless = false;  // stood without "=" and a value
};

// One start tag read from page text and written back.
class HtmlTag {
public:
    // Reads the tag at pos when the text there is '<', the name (any case) and white space.
    // Returns the length of the tag text through its '>', 0 when it does not match or never
    // ends.
    std::size_t Read(std::string_view text, std::size_t pos, std::string_view name);
    // The tag rebuilt: the name in lower case, every attribute in order, values in quotes.
    std::string Write() const;
    // The same, appended to out.
    void WriteTo(std::string& out) const;
    // Index of the first attribute of that name (any case), -1 when none.
    int FindAttribute(std::string_view name) const;
    // The value of that attribute, empty when missing.
    std::string_view Value(std::string_view name) const;

    std::string name;
    std::vector<TagAttribute> attributes;
    bool selfClosing = false;
};

// True for the white space that separates tag names and attributes.
inline bool IsTagSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f';
}

// An address as a browser reads it from an attribute: "&amp;" and "&#38;" are "&".
std::string AddressOfValue(std::string_view value);

// Position of needle (ASCII case ignored) in text from a position, or npos. Fast on long pages:
// it jumps between the places where the first character occurs.
std::size_t FindNoCase(std::string_view text, std::string_view needle, std::size_t from = 0);

}  // namespace kov
