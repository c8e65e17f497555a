#pragma once

#include <string>

#include "net/ftp_client.h"
#include "net/http_transfer.h"

namespace kov {

// Event codes of FTP downloads besides those of every transfer.
enum FtpTransferEvent : int {
    kEventFtpResumeRefused = 2081,  // param1 offset, param2 size
    kEventFtpNoFolder = 2082,       // text1 folder
    kEventFtpNoListing = 2083,      // param1 reply code; text1 name
};

// The result of an entry the server would not send.
inline constexpr int kResultFtpNotRetrieved = 2084;
// The job's lastError when the local folder cannot be made.
inline constexpr int kErrorFtpLocalFolder = 913;

// Downloads remotePath (a path whose name part may hold '*' and '?') over a connected and
// logged-in client into localPath: a single file into localPath itself, several into its folder
// under their own names. The job's update mode decides what is skipped, overwritten or resumed;
// progress and every outcome are posted as events. Returns the result of the last entry, or 2
// when the folder or the listing is missing or the local folder cannot be made.
int FetchFtp(FtpClient& client, const std::string& remotePath, const std::string& localPath,
             HttpFetchJob& job);

// The entry of the client's listing that a plain name (no wildcards) stands for: the entry of
// that name, or the only entry when it is a file (servers differ in how they name it). -1 when
// the listing is that of a folder of that name.
int EntryForName(const FtpClient& client, const std::string& name);

// The time of a listing entry as a time_t (UTC); 0 when the entry has none.
std::time_t EntryTime(const FtpEntry& entry);

}  // namespace kov
