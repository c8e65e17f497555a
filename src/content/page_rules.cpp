#include "content/page_rules.h"

#include "core/profile_store.h"

namespace kov {

const SiteRule* PageRules::FindSite(std::string_view url) const {
    const int index = FindSiteRule(sites, url);
    return index < 0 ? nullptr : &sites[static_cast<std::size_t>(index)];
}

bool LoadPageRules(const std::string& bannerFile, const std::string& siteFile, PageRules& rules,
                   std::string& error) {
    bool ok = true;
    ProfileStore store;
    if (store.Open(bannerFile)) {
        LoadBannerRules(store, rules.banner);
    } else {
        rules.banner = {};
        error = store.Error();
        ok = false;
    }
    if (store.Open(siteFile)) {
        rules.sites = LoadSiteRules(store);
    } else {
        rules.sites.clear();
        if (ok) error = store.Error();
        ok = false;
    }
    rules.sitesModified = false;
    return ok;
}

bool SaveBannerFile(const std::string& path, BannerRules& banner, std::string& error) {
    ProfileStore store;
    if (store.Open(path)) {
        SaveBannerRules(store, banner);
        if (store.Flush()) return true;
    }
    banner.modified = true;
    error = store.Error();
    return false;
}

bool SaveSiteFile(const std::string& path, PageRules& rules, std::string& error) {
    ProfileStore store;
    if (store.Open(path)) {
        SaveSiteRules(store, rules.sites);
        if (store.Flush()) {
            rules.sitesModified = false;
            return true;
        }
    }
    error = store.Error();
    return false;
}

}  // namespace kov
