#include "content/rules/page_rules.h"

#include <algorithm>

#include "core/language/message_table.h"
#include "core/settings/profile_store.h"
#include "core/text/text_util.h"
#include "platform/file_util.h"

namespace kov {

const SiteRule* PageRules::FindSite(std::string_view url) const {
    const int index = FindSiteRule(sites, url);
    return index < 0 ? nullptr : &sites[static_cast<std::size_t>(index)];
}

namespace {

// A rule file is parsed whole into the store, at many times its size; a huge one (a mistake or
// an attack) is not read at all.
bool OpenRulesFile(ProfileStore& store, const std::string& path, std::string& error) {
    if (FileSize(path).value_or(0) > kMaxRulesFileBytes) {
        error = GetString(EventCode::RulesFileTooLarge) + " " + path + " (> " +
                std::to_string(kMaxRulesFileBytes) + ")";
        return false;
    }
    if (store.Open(path)) return true;
    error = store.Error();
    return false;
}

// The BannedWords value as the file holds it: the store keeps only what fits in one of its
// lines, shorter than the words may be.
std::string StoredWords(const std::string& path) {
    const std::string text = ReadFile(path).value_or(std::string());
    std::string_view rest = text;
    bool inSection = false;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        std::string_view line = rest.substr(0, end);
        while (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = TrimBlanks(line);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (line.starts_with('[')) {
            line.remove_prefix(1);
            inSection = IEquals(TrimBlanks(line.substr(0, line.find(']'))), BannerRules::kSection);
            continue;
        }
        const std::size_t eq = line.find('=');
        if (inSection && eq != std::string_view::npos &&
            IEquals(TrimBlanks(line.substr(0, eq)), "BannedWords")) {
            return std::string(TrimBlanks(line.substr(eq + 1)));
        }
    }
    return {};
}

}  // namespace

bool LoadPageRules(const std::string& bannerFile, const std::string& siteFile, PageRules& rules,
                   std::string& error) {
    bool ok = true;
    ProfileStore store;
    if (OpenRulesFile(store, bannerFile, error)) {
        LoadBannerRules(store, rules.banner);
        // Words past the capacity ban nothing, and the session says so.
        BannerRules& banner = rules.banner;
        const std::string stored = StoredWords(bannerFile);
        if (!banner.bannedWords.empty() && stored.starts_with(banner.bannedWords)) {
            banner.bannedWords = CapText(stored, BannerRules::kBannedWordsCapacity);
            banner.wordsCut = stored.size() > banner.bannedWords.size();
        }
    } else {
        rules.banner = {};
        ok = false;
    }
    std::string siteError;
    if (OpenRulesFile(store, siteFile, siteError)) {
        rules.sites = LoadSiteRules(store);
    } else {
        rules.sites.clear();
        if (ok) error = siteError;
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
