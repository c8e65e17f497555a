// A response's header block as a server sends it, read both the probe's way and the transfer's
// way. Whatever the server says, the values keep their capacities, a file name offered by
// Content-Disposition is one plain name with nothing a shell or a path reads, and a
// Content-Range is a sane pair.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz_support.h"
#include "local_names_check.h"
#include "net/http/response_headers.h"

namespace {

void CheckPlainName(const std::string& name) {
    if (name.empty()) return;
    kov::fuzz::CheckLocalName("/dl/" + name, "/dl/");
    kov::fuzz::Check(name.find_first_of("\\`$'\";|&<>") == std::string::npos,
                     "a plain name has none of the characters a shell reads");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view raw = kov::fuzz::AsText(data, size);
    for (const bool probe : {false, true}) {
        kov::ResourceInfo info;
        const unsigned flags = kov::ParseResponseHeaders(raw, info, probe);
        using kov::ResourceInfo;
        kov::fuzz::Check(info.contentType.size() <= ResourceInfo::kTypeCapacity, "type capacity");
        kov::fuzz::Check(info.finalUrl.size() <= ResourceInfo::kUrlCapacity, "URL capacity");
        kov::fuzz::Check(info.fileName.size() <= ResourceInfo::kFileNameCapacity,
                         "file name capacity");
        kov::fuzz::Check(((flags & kov::kHasFileName) != 0) == !info.fileName.empty(),
                         "a file name is flagged");
        CheckPlainName(info.fileName);
        kov::fuzz::Check(info.lastModified % 2 == 0, "times rounded to even seconds");
    }
    CheckPlainName(kov::PlainFileName(raw));
    const std::string ofUrl = kov::FileNameOfUrl(raw);
    CheckPlainName(ofUrl);
    kov::fuzz::Check(ofUrl.find_first_of("?*") == std::string::npos, "no wildcards");
    if (const auto range = kov::ParseContentRange(raw)) {
        kov::fuzz::Check(range->start >= 0, "a range starts at a byte");
        kov::fuzz::Check(range->total == -1 || range->total > range->start,
                         "a range lies within its total");
    }
    return 0;
}
