#include "net/http/response_headers.h"

#include "core/text/text_util.h"
#include "model/content_category.h"
#include "net/http/inet.h"

namespace kov {

namespace {

// The value of a Content-Disposition file name: quoted (up to the same quote) or bare (up to
// the end of the line; a following parameter is cut at ';').
std::string DispositionName(std::string_view value) {
    const std::size_t at = IFind(value, "filename=");
    if (at == std::string_view::npos) return {};
    std::string_view name = value.substr(at + 9);
    if (!name.empty() && (name[0] == '"' || name[0] == '\'')) {
        const char quote = name[0];
        name.remove_prefix(1);
        name = name.substr(0, name.find(quote));
    } else {
        name = TrimBlanks(name.substr(0, name.find(';')));
    }
    return std::string(name);
}

}  // namespace

std::string PlainFileName(std::string_view name) {
    // Only the last component counts; both separators are cut.
    const std::size_t slash = name.find_last_of("/\\");
    if (slash != std::string_view::npos) name = name.substr(slash + 1);
    std::string out;
    for (char c : name) {
        const auto u = static_cast<unsigned char>(c);
        const bool unsafe = u < 0x20 || u == 0x7F || c == ':' ||
                            std::string_view("`$'\";|&<>").find(c) != std::string_view::npos;
        out += unsafe ? '_' : c;
    }
    out = std::string(TrimBlanks(out));
    if (out.empty() || out == "." || out == "..") return {};
    return CapText(out, ResourceInfo::kFileNameCapacity);
}

std::string FileNameOfUrl(std::string_view url) {
    const std::size_t cut = url.find_last_of("/\\");
    std::string name = PlainFileName(cut == std::string_view::npos ? url : url.substr(cut + 1));
    for (char& c : name) {
        if (c == '?' || c == '*') c = '_';
    }
    return name;
}

unsigned ParseResponseHeaders(std::string_view raw, ResourceInfo& info, bool probe) {
    unsigned flags = 0;
    info.size = 0;
    info.acceptRanges = 0;
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find('\n', pos);
        if (end == std::string_view::npos) end = raw.size();
        std::string_view line = raw.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) continue;
        const std::string name = ToLowerAscii(TrimBlanks(line.substr(0, colon)));
        const std::string_view value = TrimBlanks(line.substr(colon + 1));

        if (name == "content-type") {
            const std::string_view type = TrimBlanks(value.substr(0, value.find(';')));
            info.contentType = CapText(type, ResourceInfo::kTypeCapacity);
            info.category = CategoryFromMediaType(type);
            info.isHtml = IEquals(type, "text/html") ? 1 : 0;
            flags |= kHasContentType;
        } else if (name == "content-length") {
            info.size = ParseUint64(value);
            flags |= kHasLength;
        } else if (name == "accept-ranges") {
            if (probe || IEquals(value, "bytes")) info.acceptRanges = 1;
        } else if (name == "last-modified") {
            if (auto t = ParseHttpTime(value)) {
                info.lastModified = *t - (*t % 2);  // the even-second grain of old file systems
                info.lastModifiedText = CapText(value, 64);
                flags |= kHasLastModified;
            }
        } else if (name == "content-disposition") {
            std::string file = PlainFileName(DispositionName(value));
            if (!file.empty()) {
                info.fileName = std::move(file);
                flags |= kHasFileName;
            }
        } else if (probe && name == "location" && !value.empty()) {
            info.finalUrl = CapText(value, ResourceInfo::kUrlCapacity);
            flags |= kHasLocation;
        }
    }
    if (!(flags & kHasContentType)) {
        info.contentType = ResourceInfo::kNoType;
        info.category = 0;
        info.isHtml = 0;
    }
    info.flags = flags;
    return flags;
}

std::optional<std::string_view> HeaderValue(std::string_view raw, std::string_view name) {
    std::size_t pos = 0;
    while (pos < raw.size()) {
        std::size_t end = raw.find('\n', pos);
        if (end == std::string_view::npos) end = raw.size();
        std::string_view line = raw.substr(pos, end - pos);
        pos = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);
        const std::size_t colon = line.find(':');
        if (colon != std::string_view::npos && IEquals(TrimBlanks(line.substr(0, colon)), name))
            return TrimBlanks(line.substr(colon + 1));
    }
    return std::nullopt;
}

std::optional<ContentRange> ParseContentRange(std::string_view raw) {
    const std::optional<std::string_view> header = HeaderValue(raw, "content-range");
    if (!header) return std::nullopt;
    std::string_view value = *header;
    if (!IStartsWith(value, "bytes")) return std::nullopt;
    value = TrimBlanks(value.substr(5));
    if (value.empty() || value[0] < '0' || value[0] > '9') return std::nullopt;
    ContentRange range;
    const std::uint64_t start = ParseUint64(value);
    const std::size_t slash = value.find('/');
    if (start > static_cast<std::uint64_t>(INT64_MAX) || slash == std::string_view::npos)
        return std::nullopt;
    range.start = static_cast<std::int64_t>(start);
    const std::string_view total = TrimBlanks(value.substr(slash + 1));
    if (!total.empty() && total[0] >= '0' && total[0] <= '9') {
        const std::uint64_t t = ParseUint64(total);
        if (t > static_cast<std::uint64_t>(INT64_MAX)) return std::nullopt;
        range.total = static_cast<std::int64_t>(t);
        // A range that starts at or past the end of its whole is no range of it.
        if (range.total <= range.start) return std::nullopt;
    }
    return range;
}

}  // namespace kov
