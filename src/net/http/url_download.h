#pragma once

#include <string>

#include "net/transfer/transfer_job.h"

namespace kov {

// Fetches any URL the client can open (FTP through a proxy, file://) into localPath, with the
// job's session or, when it has none, one of its own. Returns a file result, also posted as
// event 506.
int FetchByUrl(const std::string& url, const std::string& localPath, TransferJob& job,
               const std::string& userAgent);

}  // namespace kov
