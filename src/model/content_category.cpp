#include "model/content_category.h"

#include <array>
#include <initializer_list>
#include <string>

#include "core/text/text_util.h"

namespace kov {

namespace {

struct CategoryRow {
    std::string_view name;
    std::string_view mediaPrefix;
    std::string_view extension;
};

constexpr std::array<CategoryRow, 10> kCategories = {{
    {"ANY", "", ""},
    {"Text,HTML", "text", ".txt"},
    {"Image", "image", ".jpg"},
    {"Video", "video", ".mpg"},
    {"Audio", "audio", ".wav"},
    {"App(zip,rar...)", "app", ".bin"},
    {"VRML", "x-world", ".wrl"},
    {"Other", "chemical", ".bin"},
    {"", "x-conference", ".bin"},
    {"", "", ".bin"},
}};

bool OneOf(std::string_view value, std::initializer_list<std::string_view> list) {
    for (std::string_view item : list) {
        if (value == item) return true;
    }
    return false;
}

// Lower-cased extension cut at '?'.
std::string NormalisedExtension(std::string_view extension, std::size_t maxLength) {
    extension = extension.substr(0, extension.find('?'));
    return ToLowerAscii(extension.substr(0, maxLength));
}

}  // namespace

std::string_view CategoryName(int category) {
    return category >= 0 && category < kOfferedCategories ? kCategories[category].name : "";
}

std::string_view DefaultExtension(int category) {
    return category > 0 && category < static_cast<int>(kCategories.size())
               ? kCategories[category].extension
               : "";
}

int CategoryFromMediaType(std::string_view mediaType) {
    for (int i = 1; i <= kCategoryConference; ++i) {
        if (IStartsWith(mediaType, kCategories[i].mediaPrefix)) return i;
    }
    return kCategoryUnknown;
}

std::string_view ExtensionOf(std::string_view path) {
    const std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos) return {};
    const std::size_t sep = path.find_last_of("/\\");
    if (sep != std::string_view::npos && sep > dot) return {};
    return path.substr(dot);
}

int CategoryFromExtension(std::string_view path) {
    const std::string ext = NormalisedExtension(ExtensionOf(path), std::string::npos);
    if (ext.empty()) return kCategoryAny;
    if (OneOf(ext, {".jpg", ".gif", ".png", ".bmp", ".pcx", ".img", ".tif", ".jpeg"}))
        return kCategoryImage;
    if (OneOf(ext, {".avi", ".mpg", ".mpeg", ".wmv"})) return kCategoryVideo;
    if (OneOf(ext, {".mp3", ".wma", ".wav", ".ra"})) return kCategoryAudio;
    if (OneOf(ext, {".htm", ".html", ".shtm", ".shtml", ".phtm", ".phtml", ".txt", ".asp"}))
        return kCategoryText;
    if (OneOf(ext, {".zip", ".arj", ".exe", ".gzip"})) return kCategoryApp;
    if (ext.starts_with(".wrl")) return kCategoryVrml;
    return kCategoryAny;
}

int GuessCategory(std::string_view extension) {
    const std::string ext = NormalisedExtension(extension, 63);
    if (ext.empty()) return kCategoryAny;
    if (OneOf(ext, {".jpg", ".gif", ".png", ".bmp", ".pcx", ".img", ".tif", ".jpeg"}))
        return kCategoryImage;
    if (OneOf(ext, {".avi", ".mpg", ".mpeg"})) return kCategoryVideo;
    if (OneOf(ext, {".mp3", ".wma", ".wav"})) return kCategoryAudio;
    if (ext.starts_with(".htm") || ext.starts_with(".sht") || ext.starts_with(".phtm") ||
        ext == ".txt")
        return kCategoryText;
    if (OneOf(ext, {".zip", ".rar", ".arj", ".exe"})) return kCategoryApp;
    if (ext.starts_with(".wrl")) return kCategoryVrml;
    return kCategoryAny;
}

}  // namespace kov
