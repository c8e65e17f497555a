#pragma once

#include <string>

namespace kov {

class DownloadJob;

// Applies the rules to a page the job has delivered: the site rules, the banner rules and the
// item's own replace rules, posting an event for each set applied. `fetchedWhileRipping`: a page
// fetched by the ripper, which gets the banner rules only.
void ApplyPageRules(DownloadJob& job, const std::string& url, const std::string& localPath,
                    bool fetchedWhileRipping);

}  // namespace kov
