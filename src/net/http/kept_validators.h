#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>

namespace kov {

// What a server said identifies the version of a file it sent (its ETag and Last-Modified),
// kept on the local copy as an extended attribute, so that a later run can ask "changed since?"
// and take a 304 for "up to date". The attribute also records the copy's time and size when it
// was complete: a copy changed since (a rewrite under way, a resumed part, an edit) no longer
// matches and is asked for as usual. Where the file system keeps no attributes, none is kept.
struct KeptValidators {
    // What the copy is: as delivered; delivered and still to be rewritten by the job (no copy to
    // ask about); rewritten to its end by the job.
    enum class Copy : char { Delivered = 'd', Pending = 'p', Rewritten = 'r' };

    std::string etag;          // as sent, quotes included; "" none
    std::string lastModified;  // the header as sent; "" none
    bool html = false;         // it came as an HTML page
    Copy copy = Copy::Delivered;

    bool Empty() const { return etag.empty() && lastModified.empty(); }
};

// The validators of a response's header block (lines separated by CR LF).
KeptValidators ValidatorsOfResponse(std::string_view rawHeaders);

// The validators kept on a file that is still as it was when they were kept.
std::optional<KeptValidators> ReadKeptValidators(const std::string& path);
// Keeps validators on the file as it is now (time and size); false when they could not be kept.
bool KeepValidators(const std::string& path, const KeptValidators& validators);
// The same for an open file.
bool KeepValidators(int fd, const KeptValidators& validators);
// The same for an open regular file whose time and size the caller knows for sure (one it
// created, wrote and stamped itself), without looking at it again.
bool KeepValidators(int fd, const KeptValidators& validators, std::time_t time, std::int64_t size);
// Forgets them: the file is about to change. (A file opened to be written loses them to
// MarkIncomplete.)
void DropKeptValidators(const std::string& path);

// The conditional request headers for them ("" when there are none), one per line.
std::string ConditionalHeaders(const KeptValidators& validators);

}  // namespace kov
