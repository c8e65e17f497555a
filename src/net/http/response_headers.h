#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/transfer/resource_info.h"

namespace kov {

// Reads the header block of a response (lines separated by CR LF) into info and returns the
// flags of the headers found. The probe's reading also takes a Location header and treats any
// Accept-Ranges header as acceptance; a transfer's reading wants "Accept-Ranges: bytes".
unsigned ParseResponseHeaders(std::string_view raw, ResourceInfo& info, bool probe);

// A file name offered by a server reduced to one plain name: no folder part, no "." or "..",
// no control characters and none of the characters a shell reads (` $ ' " ; | & < >), which
// become '_'. "" when nothing usable is left.
std::string PlainFileName(std::string_view name);

// The name part of a URL (after the last '/' or '\') as a plain local name, with '?' and '*'
// made '_' too.
std::string FileNameOfUrl(std::string_view url);

// The value of the first header of the block called name (case ignored), blanks and the line
// end trimmed; nullopt when there is none.
std::optional<std::string_view> HeaderValue(std::string_view raw, std::string_view name);

// The Content-Range header of a response ("bytes 100-199/1000"): its first byte and the total
// size (-1 when "*"). nullopt when there is none or it does not parse.
struct ContentRange {
    std::int64_t start = -1;
    std::int64_t total = -1;
};
std::optional<ContentRange> ParseContentRange(std::string_view raw);

}  // namespace kov
