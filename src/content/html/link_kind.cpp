#include "content/html/link_kind.h"

#include "content/html/split_path.h"
#include "core/text/text_util.h"

namespace kov {

int KindFromExtension(std::string_view name) {
    std::string ext = SplitPath(name, "3");
    if (ext.size() < 2) return -1;
    ext = ToLowerAscii(std::string_view(ext).substr(1));
    if (ext.starts_with("htm") || ext.starts_with("shtm") || ext.starts_with("phtm") ||
        ext == "php") {
        return kKindPage;
    }
    struct Entry {
        std::string_view ext;
        int kind;
    };
    static constexpr Entry kTable[] = {
        {"css", kKindStyle},         {"swf", kKindFlash},   {"gif", kKindPicture},
        {"png", kKindPicture},       {"jpg", kKindPicture}, {"jpeg", kKindPicture},
        {"pjpeg", kKindPicture},     {"bmp", kKindPicture}, {"pic", kKindPicture},
        {"pcx", kKindPicture},       {"tif", kKindPicture}, {"tga", kKindPicture},
        {"wav", kKindSound},         {"mid", kKindSound},   {"mp3", kKindSound},
        {"ra", kKindSound},          {"wma", kKindSound},   {"avi", kKindVideo},
        {"mpg", kKindVideo},         {"mpeg", kKindVideo},  {"wmv", kKindVideo},
        {"class", kKindJava},        {"jsp", kKindJava},    {"js", kKindScript},
        {"javascript", kKindScript}, {"vbs", kKindScript},
    };
    for (const Entry& e : kTable) {
        if (e.ext == ext) return e.kind;
    }
    return -1;
}

}  // namespace kov
