#pragma once

// Splitting one big file between installations: the size asked from the server, the byte
// range of every portion, and the part definition files that carry one portion each.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

#include "model/macro_expander.h"
#include "model/url_item.h"

namespace kov {

class Prompter;
class ResourceProber;

// The bytes of portion n (from 1) of a file of fileSize bytes cut into count portions: every
// portion but the last is fileSize / count long, the last takes the rest.
struct PortionRange {
    std::int64_t offset = 0;
    std::int64_t length = 0;
};
PortionRange PortionOf(std::int64_t fileSize, std::int32_t count, std::int32_t n);

// "<path>.001": the part file of portion n beside the whole file's local path.
std::string PartFilePath(std::string_view localPath, std::int32_t n);

// Asks the server for the size of the item's address (expanded for now) without fetching it.
// Found: DstDlFileSize is set, then UpdatePartInfo. Not found: the prompter shows
// "Distributed download for this URL is Impossible !", DstDlFileSize and DstDlActive become 0.
// True when a size was found.
bool ProbeFileSize(UrlItem& item, ResourceProber& prober, std::time_t now, Prompter& prompter);

// DstDlPartSize from the file size and the part count (0 when either is not above 0), and the
// two lines that show them ("One part size is : 500,000 Bytes", "File size : ..."); none when
// the size is unknown.
std::vector<std::string> UpdatePartInfo(UrlItem& item);

struct PartDefinitions {
    bool ok = false;
    std::string folder;              // where the files went
    std::vector<std::string> files;  // one per portion but the item's own, in portion order
    std::string error;               // why nothing or not everything was written
};

// "<folder>Distributed-<name>.003.ini": the part definition of portion n. The name is made a
// single plain path component first.
std::string PartDefinitionPath(std::string_view folder, std::string_view name, std::int32_t n);

// Writes, beside the item's local file (folder created when missing), one list file per
// portion except the item's own DstDlPartNo, each holding a copy of the item with that portion
// number. Informs "Cannot create folder" with the folder when it cannot be made, and
// "Job definitions for distributed download created." when all were written.
PartDefinitions CreatePartDefinitions(const UrlItem& item, const MacroContext& macros,
                                      Prompter& prompter);

}  // namespace kov
