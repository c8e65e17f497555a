#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/url_item.h"

namespace kov {

class ProfileStore;

// A named site: the rules applied to pages whose URL starts with its prefix. Sections
// "Site 1", "Site 2", ... of SiteRipper.ini.
struct SiteRule {
    static constexpr std::size_t kNameCapacity = 63;
    static constexpr std::size_t kUrlCapacity = 127;
    static constexpr std::size_t kIdCapacity = 15;
    static constexpr std::size_t kMaxSites = 511;
    static constexpr std::size_t kMaxRules = 127;

    std::string id;
    std::int32_t enabled = 1;
    std::string name;
    std::string url;  // prefix that selects the site
    std::vector<ReplaceRule> rules;
};

std::vector<SiteRule> LoadSiteRules(const ProfileStore& store);
// Rewrites the store's content (its leading comment block stays).
void SaveSiteRules(ProfileStore& store, const std::vector<SiteRule>& sites);
// The first enabled site whose prefix begins the URL (ignoring case); -1 when none.
int FindSiteRule(const std::vector<SiteRule>& sites, std::string_view url);

}  // namespace kov
