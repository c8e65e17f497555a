#include "content/html/split_path.h"

namespace kov {

std::string SplitPath(std::string_view path, std::string_view selector) {
    const std::size_t sep = path.find_last_of("\\/:");
    const std::size_t nameStart = sep == std::string_view::npos ? 0 : sep + 1;
    std::size_t dot = path.rfind('.');
    if (dot == std::string_view::npos || dot < nameStart) dot = path.size();
    std::string out;
    for (char part : selector) {
        if (part == '1') out.append(path.substr(0, nameStart));
        if (part == '2') out.append(path.substr(nameStart, dot - nameStart));
        if (part == '3') out.append(path.substr(dot));
    }
    return out;
}

}  // namespace kov
