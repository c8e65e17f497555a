#include "content/rules/site_rules.h"

#include "content/rules/banner_rules.h"
#include "core/settings/profile_store.h"
#include "core/text/text_util.h"

namespace kov {

namespace {

std::string SectionName(std::size_t n) {
    return "Site " + std::to_string(n);
}

}  // namespace

std::vector<SiteRule> LoadSiteRules(const ProfileStore& store) {
    std::vector<SiteRule> sites;
    for (std::size_t n = 1; n <= SiteRule::kMaxSites; ++n) {
        const std::string section = SectionName(n);
        SiteRule site;
        site.name = store.GetString(section, "Name", "", SiteRule::kNameCapacity + 1);
        if (site.name.empty()) break;
        site.url = store.GetString(section, "Url", "", SiteRule::kUrlCapacity + 1);
        site.id = store.GetString(section, "ID", "", SiteRule::kIdCapacity + 1);
        site.enabled = store.GetInt(section, "Enabled", 1);
        site.rules = LoadRuleList(store, section, SiteRule::kMaxRules);
        sites.push_back(std::move(site));
    }
    return sites;
}

void SaveSiteRules(ProfileStore& store, const std::vector<SiteRule>& sites) {
    // From an emptied store, so that deleted sites and rules do not come back.
    store.Clear();
    for (std::size_t n = 1; n <= sites.size(); ++n) {
        const SiteRule& site = sites[n - 1];
        const std::string section = SectionName(n);
        store.WriteString(section, "ID", site.id);
        store.WriteString(section, "Name", site.name);
        store.WriteString(section, "Url", site.url);
        store.WriteInt(section, "Enabled", site.enabled);
        SaveRuleList(store, section, site.rules);
    }
}

int FindSiteRule(const std::vector<SiteRule>& sites, std::string_view url) {
    for (std::size_t i = 0; i < sites.size(); ++i) {
        const SiteRule& site = sites[i];
        if (site.enabled && !site.url.empty() && IStartsWith(url, site.url)) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

}  // namespace kov
