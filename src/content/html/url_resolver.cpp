#include "content/html/url_resolver.h"

#include <algorithm>

#include "net/http/inet.h"

namespace kov {

namespace {

// Characters after which the fast path leaves the work to the client library.
bool Plain(std::string_view text) {
    for (char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (u <= 0x20 || u >= 0x7f || c == '\\' || c == '%' || c == ':' || c == '@') return false;
    }
    return true;
}

// "http://host[:port]" of a plain http(s) address, or empty.
std::string_view Origin(std::string_view base) {
    std::size_t start = 0;
    if (base.starts_with("http://"))
        start = 7;
    else if (base.starts_with("https://"))
        start = 8;
    else
        return {};
    const std::size_t slash = base.find('/', start);
    if (slash == std::string_view::npos) return {};
    const std::string_view host = base.substr(start, slash - start);
    for (char c : host) {
        // Lower-case names and addresses only: the library would change anything else.
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' ||
              c == ':')) {
            return {};
        }
    }
    return base.substr(0, slash);
}

// The path with its "." and ".." segments removed, as browsers do.
std::string RemoveDots(std::string_view path) {
    std::string out;
    bool afterDots = false;  // out ends with the '/' a dot segment left
    std::size_t i = 0;
    while (i < path.size()) {
        std::size_t end = path.find('/', i + 1);
        if (end == std::string_view::npos) end = path.size();
        const std::string_view segment = path.substr(i, end - i);  // starts with '/'
        if (segment == "/." || segment == "/..") {
            if (afterDots) out.pop_back();
            if (segment == "/..") out.erase(std::min(out.size(), out.rfind('/')));
            out += '/';
            afterDots = true;
        } else {
            // A kept segment replaces the '/' a dot segment left.
            if (afterDots) out.pop_back();
            out += segment;
            afterDots = false;
        }
        i = end;
    }
    return out;
}

// ResolveUrl works the reference out itself: the fragment is then appended unchanged.
bool ResolvedHere(std::string_view base, std::string_view reference) {
    const std::string_view origin = Origin(base);
    return !origin.empty() && !reference.empty() && !reference.starts_with("//") &&
           Plain(reference) && Plain(base.substr(origin.size()));
}

}  // namespace

std::size_t FragmentAppends(std::string_view base, std::string_view reference) {
    const std::size_t hash = reference.find('#');
    if (hash == std::string_view::npos || hash == 0 || !ResolvedHere(base, reference))
        return std::string_view::npos;
    return hash;
}

std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference) {
    if (!ResolvedHere(base, reference)) return CombineUrl(base, reference);
    const std::string_view origin = Origin(base);
    // The base's path without its query and fragment.
    std::string_view basePath = base.substr(origin.size());
    basePath = basePath.substr(0, basePath.find_first_of("?#"));
    std::string_view refPath = reference.substr(0, reference.find_first_of("?#"));
    const std::string_view rest = reference.substr(refPath.size());
    std::string path;
    if (refPath.empty()) {
        path = std::string(basePath);
        // "?q" and "#f" keep the base's query only for a fragment.
        if (rest.starts_with('#')) {
            const std::size_t q = base.find('?', origin.size());
            const std::size_t h = base.find('#', origin.size());
            if (q != std::string_view::npos && (h == std::string_view::npos || q < h))
                path += base.substr(q, (h == std::string_view::npos ? base.size() : h) - q);
        }
    } else if (refPath.front() == '/') {
        path = std::string(refPath);
    } else {
        path = std::string(basePath.substr(0, basePath.rfind('/') + 1));
        path += refPath;
    }
    if (path.find("/.") != std::string::npos) {
        const std::size_t query = path.find('?');
        path = RemoveDots(std::string_view(path).substr(0, query)) +
               (query == std::string::npos ? std::string() : path.substr(query));
    }
    return std::string(origin) + path + std::string(rest);
}

}  // namespace kov
