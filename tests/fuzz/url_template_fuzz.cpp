// Feeds arbitrary text to the template, macro and address code. The input's first line is the
// template, the rest the address; its last byte also picks the series number, the macro set,
// the capacity and https (so that the seeds keep their text). Aborts when a result outgrows its
// capacity or when a local path built under a fixed folder leaves it.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <limits>
#include <string>
#include <string_view>

#include "model/local_path.h"
#include "model/macro_expander.h"
#include "model/url_item.h"
#include "model/url_parts.h"
#include "model/url_template.h"
#include "model/url_template_parse.h"

namespace {

constexpr std::time_t kMoment = 1110204309;  // 2005-03-07 14:05:09 UTC

void Check(bool ok) {
    if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    ::setenv("TZ", "UTC0", 1);
    ::tzset();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned options = data[size - 1];
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view templ = input.substr(0, newline);
    const std::string_view url =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    constexpr std::int32_t kNumbers[] = {0, 7, 65, -1, std::numeric_limits<std::int32_t>::max()};
    const std::int32_t number = kNumbers[options % 5];
    Check(kov::ExpandTemplate(templ, kMoment, number, number != 7).size() <=
          kov::kTemplateCapacity);
    Check(kov::ExpandTemplate(templ, kMoment, number, true, 17).size() <= 17);
    std::string numbers;
    kov::ExpandNumberTokens(templ, number, numbers);
    Check(numbers.size() <= kov::kTemplateCapacity);

    kov::MacroContext context;
    context.appFolder = "/opt/kov/";
    context.appDrive = "/";
    context.listName = "List";
    context.listFolder = "/home/me/lists/";
    context.mru = "/home/me/recent/";
    context.now = kMoment;
    context.enableHttps = (options & 8) != 0;
    constexpr unsigned kSets[] = {kov::kPathMacroSet, kov::kNameMacroSet, kov::kFolderMacroSet,
                                  0x1FFFu};
    constexpr std::size_t kCapacities[] = {79, 259, kov::kMacroCapacity};
    const std::size_t capacity = kCapacities[(options >> 6) % 3];
    std::string out;
    if (kov::ExpandMacros(out, capacity, url, templ, kSets[(options >> 4) & 3], context))
        Check(out.size() <= capacity);

    kov::UrlItem item = kov::FreshItem();
    kov::ParseUrlToTemplate(url, item, kMoment, 100, true);
    Check(item.Url.size() <= kov::UrlItem::kUrlCapacity);
    Check(item.StopNumber >= 0);
    std::string series;
    std::int32_t found = 0;
    if (kov::FindNumberSeries(url, series, found, 4)) Check(found >= 0 && found <= 9999);

    kov::UrlParts parts;
    if (kov::SplitUrl(url, parts, true)) Check(parts.port >= 0 && parts.port <= 65535);

    // Whatever the address, the file lands directly in the destination folder.
    item = kov::FreshItem();
    item.Dest = "/dl/";
    item.Url = std::string(url.substr(0, kov::UrlItem::kUrlCapacity));
    item.CurrentNum = 42;
    item.ConType = 2;
    for (std::string_view overrideUrl : {std::string_view(), templ}) {
        const std::string path = kov::MakeLocalPath(item, kMoment, overrideUrl, context);
        Check(path.size() <= kov::kLocalPathCapacity);
        Check(path.rfind("/dl/", 0) == 0 && path.find('/', 4) == std::string::npos);
        const std::string_view name = std::string_view(path).substr(4);
        Check(name != ".." && name != ".");
    }
    return 0;
}
