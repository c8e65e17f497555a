#pragma once

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

}  // namespace kov
