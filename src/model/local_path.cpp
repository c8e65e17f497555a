#include "model/local_path.h"

#include "core/text/text_util.h"
#include "model/content_category.h"
#include "model/url_template.h"

namespace kov {

namespace {

bool IsPathSeparator(char c) {
    return c == '/' || c == '\\' || c == ':';
}

// Name and extension of a path: the text after its last '\', '/' or ':'.
std::string_view NameOf(std::string_view path) {
    const std::size_t sep = path.find_last_of("/\\:");
    return sep == std::string_view::npos ? path : path.substr(sep + 1);
}

// A name from a URL as one harmless component: control characters and shell metacharacters
// become '_' (a command line built with the name must not run part of it), and "." and ".."
// (which would name the folder itself or its parent) become "_".
std::string SafeName(std::string_view name) {
    std::string out = NeutraliseNameChars(name);
    if (out == "." || out == "..") out = "_";
    return out;
}

bool NamesFolder(std::string_view path) {
    return path.empty() || IsPathSeparator(path.back());
}

}  // namespace

std::string MakeLocalPath(const UrlItem& item, std::time_t time, std::string_view overrideUrl,
                          const MacroContext& context) {
    int category = item.ConType;

    std::string dest;
    ExpandMacros(dest, kLocalPathCapacity, {}, item.Dest, kPathMacroSet, context);
    std::string out = ExpandTemplate(dest, time, item.CurrentNum, true, kLocalPathCapacity);

    std::string url;
    if (!overrideUrl.empty()) {
        url = std::string(overrideUrl);
        category = CategoryFromExtension(url);
    } else {
        url = ExpandTemplate(item.Url, time, item.CurrentNum, true);
    }

    if (NamesFolder(out)) out += SafeName(NameOf(url));

    for (char& c : out) {
        if (c == '?' || c == '*') c = '_';
    }

    if (NamesFolder(out)) {
        if (IStartsWith(url, "file://")) {
            out += SafeName(NameOf(url.substr(7)));
        } else if (IStartsWith(url, "http://") ||
                   (context.enableHttps && IStartsWith(url, "https://"))) {
            out += "noname";
            out += DefaultExtension(category);
        }
    }

    // '/' is written; both separators are accepted in Dest.
    for (char& c : out) {
        if (c == '\\') c = '/';
    }
    out = CapText(CollapseSeparators(out), kLocalPathCapacity);
    // Cutting a long name can leave ".." or "." as the last component: never a file to write.
    const std::string_view last = NameOf(out);
    if (last == "." || last == "..") out.replace(out.size() - last.size(), last.size(), "_");
    return out;
}

}  // namespace kov
