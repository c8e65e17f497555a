// How the ripper names the local copy of a collected resource.

#include <algorithm>
#include <array>
#include <cstdio>
#include <iterator>
#include <utility>

#include "content/html/html_ripper.h"
#include "content/html/split_path.h"
#include "core/text/text_util.h"

namespace kov {

namespace {

constexpr const char* kUnknownExt = ".$$$";
constexpr unsigned kMaxNumbered = 128000;
// Room in a 255-byte file name for "_NNNNNN" and an extension.
constexpr std::size_t kNameCapacity = 255 - 8 - 7;

bool OneOf(std::string_view ext, std::initializer_list<std::string_view> list) {
    for (std::string_view e : list) {
        if (IEquals(ext, e)) return true;
    }
    return false;
}

bool KnownExtension(std::string_view ext) {
    return OneOf(ext, {".htm", ".html", ".gif", ".jpg", ".png", ".jpeg", ".asp", ".doc", ".txt",
                       ".swf", ".avi", ".java", ".js", ".css"});
}

bool PageLikeExtension(std::string_view ext) {
    return OneOf(ext, {".shtml", ".shtm", ".phtm", ".phtml", ".asp", ".php"});
}

// Today's resources (.svg, .woff2, .webp, ...) keep their own extension when it is a plain one.
bool PlainExtension(std::string_view ext) {
    if (ext.size() < 2 || ext.size() > 6) return false;
    for (char c : ext.substr(1)) {
        if (!((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')))
            return false;
    }
    return true;
}

// A name from outside never leaves the folder nor upsets a shell or a page: control and
// shell characters become '_', "." and ".." are not names, and the length is bounded.
std::string SafeName(std::string_view name) {
    std::string safe = NeutraliseNameChars(name);
    for (char& c : safe) {
        if (c == '/' || c == '\\' || c == ':' || c == '%') c = '_';
    }
    if (safe == "." || safe == "..") safe = "_";
    return CapText(safe, kNameCapacity);
}

}  // namespace

std::string HtmlRipper::ExtensionFromType(const std::string& url) const {
    std::string type = m_typeQuery ? m_typeQuery(url) : std::string();
    const std::size_t slash = type.find('/');
    if (type.empty() || slash == std::string::npos) return kUnknownExt;
    std::string sub = ToLowerAscii(std::string_view(type).substr(slash + 1));
    // Subtypes whose usual file extension is not the subtype itself.
    static constexpr std::pair<std::string_view, std::string_view> kExtensions[] = {
        {"html", ".htm"},   {"plain", ".txt"},        {"jpeg", ".jpg"},      {"tiff", ".tif"},
        {"msword", ".doc"}, {"octet-stream", ".bin"}, {"x-msvideo", ".avi"},
    };
    const auto known = std::find_if(std::begin(kExtensions), std::end(kExtensions),
                                    [&sub](const auto& row) { return row.first == sub; });
    std::string ext;
    if (known != std::end(kExtensions))
        ext = known->second;
    else if (sub.starts_with("x-zip"))
        ext = ".zip";
    else if (sub.starts_with("x-"))
        ext = "." + sub.substr(2);
    else
        ext = "." + sub;
    ext = ext.substr(0, ext.find(' '));
    return PlainExtension(ext) ? ext : std::string(kUnknownExt);
}

bool HtmlRipper::MakeLocalName(LinkRecord& record) {
    const int known = m_links.FindUrl(record.url);
    if (known >= 0) {
        record.localPath = m_links.At(known).localPath;
        return true;
    }
    const std::string cut = record.url.substr(0, record.url.find('?'));
    std::string name = SplitPath(cut, "2");
    const std::string urlExt = SplitPath(cut, "3");
    std::string ext = urlExt;
    if (name.find_first_of("?,;") != std::string::npos) {
        char generated[32];
        std::snprintf(generated, sizeof generated, "Internal-%03u", m_names->counter++);
        name = generated;
        ext = kUnknownExt;
    }
    if (ext.size() > 6 || urlExt.find_first_of("'\";") != std::string::npos) ext = kUnknownExt;
    const bool pageLike = PageLikeExtension(urlExt);
    if (!KnownExtension(urlExt) && !(m_modern && PlainExtension(ext) && !pageLike)) {
        ext = kUnknownExt;
    }
    if (ext.empty()) ext = kUnknownExt;
    const bool web =
        IStartsWith(record.url, "http://") || (m_modern && IStartsWith(record.url, "https://"));
    if (ext == kUnknownExt && web) {
        if (m_detectTypes && m_typeQuery) {
            ext = ExtensionFromType(record.url);
        } else if (cut.ends_with('/') || pageLike) {
            ext = ".htm";
        }
    }
    name = SafeName(name);
    std::string path;
    if (m_originalNames && !name.empty()) {
        path = m_pageFolder + name + ext;
    } else {
        char number[16];
        std::snprintf(number, sizeof number, "_%02u", static_cast<unsigned>(m_links.Count() + 1));
        name = SafeName(m_pageBase) + number;
        path = m_pageFolder + name + ext;
    }
    // Numbers below the last one given for a name are all taken (records are never removed),
    // so a page of many same-named links is not searched from 1 again for each.
    const std::string key = ToLowerAscii(m_pageFolder + name + ext);
    unsigned& next = m_nextNumber[key];
    for (unsigned n = std::max(next, 1u); PathTaken(path, record.url) && n < kMaxNumbered; ++n) {
        char number[16];
        std::snprintf(number, sizeof number, "_%03u", n);
        path = m_pageFolder + name + number + ext;
        next = n + 1;
    }
    record.localPath = std::move(path);
    return false;
}

}  // namespace kov
