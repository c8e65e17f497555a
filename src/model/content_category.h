#pragma once

#include <cstddef>
#include <string_view>

namespace kov {

// Content categories: the values of UrlItem::ConType and of a server's media type family.
enum ContentCategory : int {
    kCategoryAny = 0,  // no restriction
    kCategoryText = 1,
    kCategoryImage = 2,
    kCategoryVideo = 3,
    kCategoryAudio = 4,
    kCategoryApp = 5,
    kCategoryVrml = 6,
    kCategoryOther = 7,       // the "chemical" family only
    kCategoryConference = 8,  // never offered as a filter
    kCategoryUnknown = 9,     // never offered as a filter
};

// How many categories the user may choose from (0..7).
inline constexpr int kOfferedCategories = 8;

// "ANY", "Text,HTML", ... for 0..7; "" for anything else.
std::string_view CategoryName(int category);

// ".txt", ".jpg", ... ; "" for 0 and for values out of range, ".bin" for 5, 7, 8, 9.
std::string_view DefaultExtension(int category);

// The first matching media-type prefix (ignoring case); 9 when none matches.
int CategoryFromMediaType(std::string_view mediaType);

// Category of the extension of a path or URL (from the last '.' after the last separator, cut
// at '?', ignoring case); 0 when there is none or it is not known.
int CategoryFromExtension(std::string_view path);

// The variant used when a new item is made from a bare address; takes an extension with its
// dot (at most 63 bytes are looked at).
int GuessCategory(std::string_view extension);

// The extension of the last component of a path or URL, with its dot ("" when none).
std::string_view ExtensionOf(std::string_view path);

}  // namespace kov
