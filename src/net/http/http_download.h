#pragma once

// The HTTP download of a job's item: one fetch, or one with its retries.

#include <chrono>
#include <string>

#include "net/transfer/resource_info.h"
#include "net/transfer/transfer_job.h"

namespace kov {

// Fetches one HTTP resource into localPath (which may change: a server-given file name, a
// redirect target's name, a distributed part's suffix) with one request in the usual cases: a
// local copy is asked for from its last byte on (with If-Range when its time is surely the
// server's), so that the one answer says whether it is complete, resumable or replaced. Redirects
// are followed here: the item's credentials go only to the scheme, host and port of url, and a
// target that is not web ends the fetch (914) before anything is sent. info, when given, receives
// what the response said; its size is the bytes received. Returns a file result; every outcome is
// also posted as event 506. finalUrl, when given, receives the URL the response came from.
int FetchHttp(const std::string& url, std::string& localPath, int conType, int nfsize,
              const std::string& nfString, ResourceInfo* info, TransferJob& job,
              std::string* finalUrl = nullptr);

// FetchHttp with up to five more tries of a broken transfer, retryWait apart (a stop cuts the
// wait short and ends the tries); not started or repeated once the traffic limit is reached.
// url becomes the URL the file came from.
int FetchHttpWithRetries(std::string& url, std::string& localPath, int conType, int nfsize,
                         const std::string& nfString, ResourceInfo& info, TransferJob& job,
                         std::chrono::milliseconds retryWait);

}  // namespace kov
