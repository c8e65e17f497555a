// A list file as anyone may have edited it. The items read from it, saved into a new list and
// read back, are the same items (compared in the exchange format, which carries every field)
// but for the values a list keeps only while they are in use, and saving them again gives the
// same text.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <sstream>
#include <string>
#include <vector>

#include "core/settings/profile_store.h"
#include "fuzz_support.h"
#include "model/exchange_format.h"
#include "model/list_file.h"

namespace {

constexpr std::time_t kNow = 1700000000;

std::vector<kov::UrlItem> ReadItems(const kov::ProfileStore& store) {
    std::vector<kov::UrlItem> items;
    for (const int number : kov::ItemNumbers(store)) {
        kov::UrlItem item = kov::FreshItem();
        if (kov::LoadItem(store, number, item, kNow)) items.push_back(std::move(item));
    }
    return items;
}

// An item of nothing but a URL: every field as a missing key leaves it.
const kov::UrlItem& Absent() {
    static const kov::UrlItem item = [] {
        kov::ProfileStore store;
        store.LoadText("[item 1]\nUrl=x\n");
        kov::UrlItem loaded = kov::FreshItem();
        kov::fuzz::Check(kov::LoadItem(store, 1, loaded, kNow), "the bare item loads");
        return loaded;
    }();
    return item;
}

// A list file keeps some values only while what they belong to is on: the password of a
// user name, the series position of an item that counts numbers, and a positive day count.
kov::UrlItem Kept(kov::UrlItem item) {
    if (item.UserName.empty()) item.UserPsw = Absent().UserPsw;
    if (item.NumBased == 0) {
        item.CurrentNum = Absent().CurrentNum;
        item.StopNumber = Absent().StopNumber;
        item.Tolerance = Absent().Tolerance;
    }
    if (item.days <= 0) item.days = Absent().days;
    return item;
}

std::string Saved(const std::vector<kov::UrlItem>& items, kov::Prompter& prompter) {
    kov::ProfileStore store(&prompter);
    store.LoadText("");
    int number = 0;
    for (const kov::UrlItem& item : items)
        kov::fuzz::Check(kov::SaveItem(store, ++number, item, prompter), "an item is saved");
    return store.Serialize();
}

std::string Exchange(const std::vector<kov::UrlItem>& items) {
    std::ostringstream out;
    kov::fuzz::Check(kov::WriteBlock(out, items, kov::kExchangeModeFull), "exchange text");
    return out.str();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kov::fuzz::SilentPrompter prompter;
    kov::ProfileStore store(&prompter);
    store.LoadText(kov::fuzz::AsText(data, size));
    const std::vector<kov::UrlItem> items = ReadItems(store);

    const std::string once = Saved(items, prompter);
    kov::ProfileStore reloaded(&prompter);
    reloaded.LoadText(once);
    const std::vector<kov::UrlItem> again = ReadItems(reloaded);
    kov::fuzz::Check(again.size() == items.size(), "no item is lost or gained");
    std::vector<kov::UrlItem> kept;
    for (const kov::UrlItem& item : items)
        kept.push_back(Kept(item));
    kov::fuzz::CheckSame(Exchange(kept), Exchange(again), "a saved list reads back the same");
    kov::fuzz::CheckSame(once, Saved(again, prompter), "saving again gives the same text");
    return 0;
}
