#include "content/rules/banner_rules.h"

#include "core/settings/profile_store.h"
#include "core/text/text_util.h"

namespace kov {

namespace {

constexpr std::size_t kMinWord = 3;
constexpr std::size_t kMaxWords = 1023;

std::string Key(std::string_view base, std::size_t n) {
    return ProfileStore::NumberedKey(base, static_cast<std::int64_t>(n));
}

}  // namespace

std::vector<ReplaceRule> LoadRuleList(const ProfileStore& store, std::string_view section,
                                      std::size_t limit) {
    std::vector<ReplaceRule> rules;
    for (std::size_t n = 1; n <= limit; ++n) {
        ReplaceRule rule;
        rule.find = store.GetString(section, Key("s_find", n), "", ReplaceRule::kTextCapacity + 1);
        if (rule.find.empty()) break;
        rule.id = store.GetString(section, Key("ID", n), "", ReplaceRule::kIdCapacity + 1);
        rule.replace =
            store.GetString(section, Key("s_repl", n), "", ReplaceRule::kTextCapacity + 1);
        rule.action = store.GetInt(section, Key("s_action", n), 0);
        if (rule.action < 0 || rule.action > 3) rule.action = 0;
        rule.ignoreCase = store.GetInt(section, Key("s_icase", n), 0);
        rule.multiple = store.GetInt(section, Key("s_mult", n), 0);
        rules.push_back(std::move(rule));
    }
    return rules;
}

void SaveRuleList(ProfileStore& store, std::string_view section,
                  const std::vector<ReplaceRule>& rules) {
    for (std::size_t n = 1; n <= rules.size(); ++n) {
        const ReplaceRule& rule = rules[n - 1];
        store.WriteString(section, Key("ID", n), rule.id);
        store.WriteString(section, Key("s_find", n), rule.find);
        store.WriteString(section, Key("s_repl", n), rule.replace);
        store.WriteInt(section, Key("s_action", n), rule.action);
        store.WriteInt(section, Key("s_icase", n), rule.ignoreCase);
        store.WriteInt(section, Key("s_mult", n), rule.multiple);
    }
}

void LoadBannerRules(const ProfileStore& store, BannerRules& banner) {
    banner.rules = LoadRuleList(store, BannerRules::kSection, BannerRules::kMaxRules);
    banner.bannedWords = store.GetString(BannerRules::kSection, "BannedWords", "",
                                         BannerRules::kBannedWordsCapacity + 1);
    banner.modified = false;
}

void SaveBannerRules(ProfileStore& store, BannerRules& banner) {
    // From an emptied store, so that rules deleted since the load do not come back.
    store.Clear();
    SaveRuleList(store, BannerRules::kSection, banner.rules);
    store.WriteString(BannerRules::kSection, "BannedWords", banner.bannedWords);
    banner.modified = false;
}

bool BannerRules::IsBannedUrl(std::string_view url) const {
    if (bannedWords.size() < kMinWord || url.size() < kMinWord) return false;
    std::string_view words = bannedWords;
    for (std::size_t count = 0; !words.empty() && count < kMaxWords; ++count) {
        const std::size_t space = words.find(' ');
        const std::string_view word = words.substr(0, space);
        words = space == std::string_view::npos ? std::string_view{} : words.substr(space + 1);
        if (word.size() < kMinWord || word.size() > url.size()) continue;
        if (IFind(url, word) != std::string_view::npos) return true;
    }
    return false;
}

}  // namespace kov
