#include "engine/page_rules_step.h"

#include "engine/download_job.h"

namespace kov {

void ApplyPageRules(DownloadJob&, const std::string&, const std::string&, bool) {}

}  // namespace kov
