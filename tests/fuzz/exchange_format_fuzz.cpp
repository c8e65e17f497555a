// Feeds arbitrary bytes to the exchange block reader. Every item read must respect the field
// capacities, and the round trip must be stable: writing the items, reading that text and
// writing again must give the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "model/exchange_format.h"

namespace {

constexpr std::time_t kNow = 1700000000;

void CheckCap(const std::string& text, std::size_t capacity) {
    if (text.size() > capacity) abort();
}

void CheckCapacities(const kov::UrlItem& item) {
    using kov::UrlItem;
    CheckCap(item.Name, UrlItem::kNameCapacity);
    CheckCap(item.Url, UrlItem::kUrlCapacity);
    CheckCap(item.Dest, UrlItem::kDestCapacity);
    CheckCap(item.Cmd, UrlItem::kCmdCapacity);
    CheckCap(item.Referer, UrlItem::kRefererCapacity);
    CheckCap(item.nfString, UrlItem::kNfStringCapacity);
    CheckCap(item.ID, UrlItem::kIdCapacity);
    CheckCap(item.UserPsw, UrlItem::kUserCapacity);
    CheckCap(item.UserName, UrlItem::kUserCapacity);
    CheckCap(item.UploadServer, UrlItem::kUploadServerCapacity);
    CheckCap(item.UploadFolder, UrlItem::kUploadServerCapacity);
    CheckCap(item.UploadLogin, UrlItem::kUploadLoginCapacity);
    CheckCap(item.UploadPassword, UrlItem::kUploadLoginCapacity);
    CheckCap(item.CEComeFrom, UrlItem::kCeComeFromCapacity);
    if (item.rules.size() > kov::kExchangeMaxRules) abort();
    for (const kov::ReplaceRule& rule : item.rules) {
        CheckCap(rule.find, kov::ReplaceRule::kTextCapacity);
        CheckCap(rule.replace, kov::ReplaceRule::kTextCapacity);
    }
}

std::string Write(const std::vector<kov::UrlItem>& items) {
    std::ostringstream out;
    if (!kov::WriteBlock(out, items, kov::kExchangeModeFull)) abort();
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<kov::UrlItem> items = kov::ReadBlock(text, kNow);
    for (const kov::UrlItem& item : items)
        CheckCapacities(item);

    const std::string once = Write(items);
    const std::vector<kov::UrlItem> again = kov::ReadBlock(once, kNow);
    if (again.size() != items.size()) abort();
    if (Write(again) != once) abort();
    return 0;
}
