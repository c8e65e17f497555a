#include "content/html/url_resolver.h"

#include <algorithm>
#include <string>

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

// Where the host of an http(s) address starts; 0 for any other address.
std::size_t HostStart(std::string_view address) {
    if (address.starts_with("http://")) return 7;
    if (address.starts_with("https://")) return 8;
    return 0;
}

// "http://host[:port]" of a plain http(s) address, or empty.
std::string_view Origin(std::string_view base) {
    const std::size_t start = HostStart(base);
    if (start == 0) return {};
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

// "http://host" of an absolute http(s) reference whose host the library keeps as written, or
// empty: lower-case names only (no port, no user), and none that may be a numeric address,
// which the library writes in its own form ("127.1", "0x7f.1").
std::string_view AbsoluteOrigin(std::string_view reference) {
    const std::size_t start = HostStart(reference);
    if (start == 0) return {};
    const std::size_t end = std::min(reference.find_first_of("/?#", start), reference.size());
    const std::string_view host = reference.substr(start, end - start);
    if (host.empty() || host.size() > 253) return {};
    for (char c : host) {
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-')) return {};
    }
    const std::size_t label = host.rfind('.') + 1;  // 0 without a dot
    if (label >= host.size() || (host[label] >= '0' && host[label] <= '9') ||
        !(host.front() >= 'a' && host.front() <= 'z'))
        return {};
    return reference.substr(0, end);
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

// What ResolvedHere asks of a base. A page's links are resolved one after another against the
// same base, several times each: the last base a thread asked about is remembered, and found
// again by comparing its bytes.
struct BaseFacts {
    bool noNul = false;           // the library can take it
    std::size_t plainOrigin = 0;  // the length of its origin when its path is plain, else 0
};

const BaseFacts& FactsOf(std::string_view base) {
    thread_local std::string last;
    thread_local BaseFacts facts;
    thread_local bool known = false;
    if (known && base == last) return facts;
    facts.noNul = base.find('\0') == std::string_view::npos;
    const std::string_view origin = Origin(base);
    facts.plainOrigin = !origin.empty() && Plain(base.substr(origin.size())) ? origin.size() : 0;
    last.assign(base);
    known = true;
    return facts;
}

// ResolveUrl works the reference out itself: the fragment is then appended unchanged.
bool ResolvedHere(std::string_view base, std::string_view reference) {
    const BaseFacts& facts = FactsOf(base);
    const std::string_view absolute = AbsoluteOrigin(reference);
    if (!absolute.empty()) {
        // The base plays no part, but one the library cannot take refuses every reference.
        return facts.noNul && reference.size() < 8000 && Plain(reference.substr(absolute.size()));
    }
    return facts.plainOrigin != 0 && !reference.empty() && !reference.starts_with("//") &&
           Plain(reference);
}

}  // namespace

bool ResolvedDirectly(std::string_view base, std::string_view reference) {
    return ResolvedHere(base, reference);
}

std::string_view ReferenceFolder(std::string_view base) {
    const std::string_view origin = Origin(base);
    const std::string_view path = base.substr(origin.size());
    if (origin.empty() || !Plain(path) || path.find_first_of("?#") != std::string_view::npos ||
        path.find("/.") != std::string_view::npos)
        return {};
    return base.substr(0, origin.size() + path.rfind('/') + 1);
}

std::size_t FragmentAppends(std::string_view base, std::string_view reference) {
    const std::size_t hash = reference.find('#');
    if (hash == std::string_view::npos || hash == 0 || !ResolvedHere(base, reference))
        return std::string_view::npos;
    return hash;
}

std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference) {
    if (!ResolvedHere(base, reference)) return CombineUrl(base, reference);
    const std::string_view absolute = AbsoluteOrigin(reference);
    const std::string_view origin = absolute.empty() ? Origin(base) : absolute;
    reference.remove_prefix(absolute.size());
    const std::string_view refPath = reference.substr(0, reference.find_first_of("?#"));
    const std::string_view rest = reference.substr(refPath.size());
    std::string path;
    if (!absolute.empty()) {
        path = refPath.empty() ? std::string("/") : std::string(refPath);
    } else if (!refPath.empty() && refPath.front() == '/') {
        path = std::string(refPath);
    } else {
        // The base's path without its query and fragment.
        std::string_view basePath = base.substr(origin.size());
        basePath = basePath.substr(0, basePath.find_first_of("?#"));
        if (!refPath.empty()) {
            path = std::string(basePath.substr(0, basePath.rfind('/') + 1));
            path += refPath;
        } else {
            path = std::string(basePath);
            // "?q" and "#f" keep the base's query only for a fragment.
            if (rest.starts_with('#')) {
                const std::size_t q = base.find('?', origin.size());
                const std::size_t h = base.find('#', origin.size());
                if (q != std::string_view::npos && (h == std::string_view::npos || q < h))
                    path += base.substr(q, (h == std::string_view::npos ? base.size() : h) - q);
            }
        }
    }
    if (path.find("/.") != std::string::npos) {
        const std::size_t query = path.find('?');
        path = RemoveDots(std::string_view(path).substr(0, query)) +
               (query == std::string::npos ? std::string() : path.substr(query));
    }
    std::string out;
    out.reserve(origin.size() + path.size() + rest.size());
    out.append(origin).append(path).append(rest);
    return out;
}

}  // namespace kov
