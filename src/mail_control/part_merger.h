#pragma once

// Joining the part files of a distributed download into the whole file.

#include <cstdint>
#include <functional>
#include <string>

namespace kov {

class Prompter;

struct MergeRequest {
    std::string localPath;  // the whole file's local path; part n is localPath + ".%03u"
    std::string target;     // the whole file to write; localPath when empty
    std::int32_t partCount = 0;
    std::int64_t fileSize = 0;  // the size the server announced; 0 when not known
};

struct MergeResult {
    bool ok = false;
    bool partsDeleted = false;
    std::int64_t bytes = 0;  // bytes written
    std::string error;       // "File read error - <part>" and the like
};

// Copies parts 1..partCount in order into the whole file. The file is written under a
// temporary name in its folder and renamed only when complete, so a failed or stopped merge
// leaves no half file under the final name and every part in place. With a known file size
// every part must have its portion's length. The whole file gets the time stamps of the last
// part. Then the prompter asks "File successfully created. Delete part files ?" with the
// target (default no); yes deletes the parts. Only regular files are parts: a link or a FIFO
// in a part's place is refused. progress gets 0..100; stop is asked between blocks and before
// the commit, and a stopped merge leaves nothing behind.
MergeResult MergeParts(const MergeRequest& request, Prompter& prompter,
                       const std::function<void(int percent)>& progress = {},
                       const std::function<bool()>& stop = {});

}  // namespace kov
