#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "model/url_item.h"

namespace kov {

class ProfileStore;

// The rules applied to the pages of every item that asks for banner ripping, and the words
// that keep a URL from being fetched at all. Section "BanneRipping" of banners.ini.
struct BannerRules {
    static constexpr const char* kSection = "BanneRipping";
    static constexpr std::size_t kMaxRules = 511;
    static constexpr std::size_t kBannedWordsCapacity = 1023;

    std::vector<ReplaceRule> rules;
    std::string bannedWords;  // separated by spaces
    bool modified = false;    // changed since the last load or save
    bool wordsCut = false;    // the file held more words than could be kept

    // Whether the URL contains one of the banned words (ignoring case). Words shorter than
    // three characters ban nothing.
    bool IsBannedUrl(std::string_view url) const;
};

void LoadBannerRules(const ProfileStore& store, BannerRules& banner);
// Rewrites the store's content (its leading comment block stays).
void SaveBannerRules(ProfileStore& store, BannerRules& banner);

// Reads the rules numbered from 1 of a section, up to the first empty find text or the limit.
std::vector<ReplaceRule> LoadRuleList(const ProfileStore& store, std::string_view section,
                                      std::size_t limit);
void SaveRuleList(ProfileStore& store, std::string_view section,
                  const std::vector<ReplaceRule>& rules);

}  // namespace kov
