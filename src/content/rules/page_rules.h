#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "content/rules/banner_rules.h"
#include "content/rules/site_rules.h"

namespace kov {

// The rules a session applies to every fetched page besides the item's own: banner rules,
// banned words and site rules, loaded at start-up. Jobs share one instance read-only.
struct PageRules {
    BannerRules banner;
    std::vector<SiteRule> sites;
    bool sitesModified = false;

    bool IsBannedUrl(std::string_view url) const { return banner.IsBannedUrl(url); }
    // The site whose rules apply to a page at url; nullptr when none.
    const SiteRule* FindSite(std::string_view url) const;
};

// Reads the banner file and the site-rule file. A missing file gives empty lists; a file that
// exists but cannot be read, or is larger than kMaxRulesFileBytes, gives empty lists too, and
// false with the cause in error.
inline constexpr std::int64_t kMaxRulesFileBytes = std::int64_t{16} << 20;
bool LoadPageRules(const std::string& bannerFile, const std::string& siteFile, PageRules& rules,
                   std::string& error);
// Write one file each, safely; false with the cause in error (the old file stays then).
bool SaveBannerFile(const std::string& path, BannerRules& banner, std::string& error);
bool SaveSiteFile(const std::string& path, PageRules& rules, std::string& error);

}  // namespace kov
