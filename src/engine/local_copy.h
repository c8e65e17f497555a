#pragma once

// The file:// transfer: copies of local files and folders, reported and metered like any other
// download (local traffic).

#include <atomic>
#include <string>
#include <vector>

#include "net/transfer/traffic_meter.h"
#include "net/transfer/transfer_events.h"

namespace kov {

struct LocalCopyContext {
    TransferSink* sink = nullptr;                   // events; none when null
    TrafficMeter* meter = nullptr;                  // nullptr: GlobalTrafficMeter()
    const std::atomic<int>* stopRequest = nullptr;  // the job's; nullptr: never stops
    std::vector<char>* buffer = nullptr;            // the job's transfer buffer; own one if null
    bool subFolders = false;                        // CopyLocalFolder recurses
    int lastError = 0;   // out: errno of the last failed copy (parameter 2 of 506), else 0
    int updateMode = 0;  // 0 resume or update, 1 always overwrite, 2 skip an existing target
};

// Copies one file. The source may be a file:// URL (the prefix is compared without case) or a
// plain path. Results: 0 copied; 919 the target is the source itself, or is kept as the update
// mode says (PlanFetch: with mode 0 it has the source's size and time); 918 no such source file;
// 923 the target cannot be created or written (924 disk full); 922 read error; 927 stopRequest
// reached 2; 929 the source ended early. Posts 503, 505 on resume, 504 per block and 506 with the
// result.
//
// The target always ends with the source's last-write time, also after a failed copy: a shorter
// target is resumed only when its time equals the source's, which tells a partial copy of this
// very source from an older or unrelated file (those are copied again from the start, as is a
// target longer than the source).
int CopyLocalFile(const std::string& sourceUrlOrPath, const std::string& target,
                  LocalCopyContext& context);

// Creates target (result 2 when it cannot be) and copies every file of source into it, and with
// context.subFolders every subfolder too. Symbolic links to folders are skipped so that a copy
// never leaves the source tree, and so is the target itself when it lies inside the source.
// Stops between entries when stopRequest is set. The result is the smallest entry result, 0 for
// an empty folder, 918 when source cannot be read and 927 when stopped before the first entry.
int CopyLocalFolder(const std::string& source, const std::string& target,
                    LocalCopyContext& context);

// One pass of a file:// URL: every entry matching the URL's path (* and ? allowed in the last
// component) is copied from the URL's folder into the folder of localPath under its own name,
// files with CopyLocalFile and folders with CopyLocalFolder. The result is the smallest entry
// result; anySuccess is set when an entry gave 0 or below. 918 (with a 506 event) when nothing
// matches, 927 when stopped before the first entry.
int CopyFileUrlPass(const std::string& url, const std::string& localPath, LocalCopyContext& context,
                    bool& anySuccess);

}  // namespace kov
