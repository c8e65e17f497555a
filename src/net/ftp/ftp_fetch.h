#pragma once

#include <string>

#include "net/ftp/ftp_client.h"
#include "net/transfer/transfer_job.h"

namespace kov {

// Downloads remotePath (a path whose name part may hold '*' and '?') over a connected and
// logged-in client into localPath: a single file into localPath itself, several into its folder
// under their own names. The job's update mode decides what is skipped, overwritten or resumed;
// progress and every outcome are posted as events. Returns the result of the last entry, or 2
// when the folder or the listing is missing or the local folder cannot be made.
int FetchFtp(FtpClient& client, const std::string& remotePath, const std::string& localPath,
             TransferJob& job);

// The entry of the client's listing that a plain name (no wildcards) stands for: the entry of
// that name, or the only entry when it is a file (servers differ in how they name it). -1 when
// the listing is that of a folder of that name.
int EntryForName(const FtpClient& client, const std::string& name);

// The time of a listing entry as a time_t (UTC); 0 when the entry has none.
std::time_t EntryTime(const FtpEntry& entry);

}  // namespace kov
