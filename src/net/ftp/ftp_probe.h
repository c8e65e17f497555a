#pragma once

#include <atomic>
#include <string>

#include "net/transfer/resource_info.h"

namespace kov {

// What the prober learns of an FTP file: connects, logs in (passive mode), changes to the
// folder of the path and lists the name; the first entry gives the size and time. Returns the
// info's flags, or 0 with error set (kProbeNoConnection with the server's text, kProbeNoFolder,
// kProbeNoEntry). stop, when given, ends the probe's waits once it reaches 2.
unsigned ProbeFtp(const std::string& url, ResourceInfo& info, const std::string& user,
                  const std::string& password, int& error, std::string& errorText,
                  const std::atomic<int>* stop = nullptr);

}  // namespace kov
