// Local names made from addresses and destinations that came from outside: the name of a URL,
// a received item's destination, and the path an item's URL gives under its folder. Each one
// names a file directly in its folder and holds no control character.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "fuzz_support.h"
#include "local_names_check.h"
#include "mail_control/query_destination.h"
#include "model/local_path.h"
#include "model/url_item.h"
#include "model/url_template.h"

namespace {

constexpr std::time_t kNow = 1700000000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(kov::fuzz::AsText(data, size));

    const std::string last = kov::SafeLastPart(input);
    if (!last.empty()) {
        kov::fuzz::CheckLocalName("/q/" + last, "/q/");
        kov::fuzz::Check(last.find_first_of("\\{}`$;|&<>") == std::string::npos,
                         "a received name has no macro or shell character");
    }
    const std::string poll = "/srv/queries/20240101-120000";
    const std::string dest = kov::QueryItemDest(poll, 7, input);
    kov::fuzz::Check(dest.size() <= kov::UrlItem::kDestCapacity, "destination capacity");
    if (!dest.ends_with('/')) kov::fuzz::CheckLocalName(dest, poll + "-7/");

    kov::MacroContext context;
    context.appFolder = "/opt/kov/";
    context.appDrive = "/";
    context.now = kNow;
    kov::UrlItem item = kov::FreshItem();
    item.Dest = "/dl/";
    item.Url = kov::EscapeTemplateText(input.substr(0, kov::UrlItem::kUrlCapacity / 2));
    for (const int conType : {0, 1, 2, 3}) {
        item.ConType = static_cast<std::int16_t>(conType);
        context.enableHttps = conType % 2 == 1;
        for (const std::string_view url : {std::string_view(), std::string_view(input)}) {
            // An address without a name leaves the folder itself (the fetch then fails).
            const std::string path = kov::MakeLocalPath(item, kNow, url, context);
            if (path != "/dl/") kov::fuzz::CheckLocalName(path, "/dl/");
        }
    }
    return 0;
}
