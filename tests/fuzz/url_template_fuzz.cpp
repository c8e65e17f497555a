// Feeds arbitrary text to the template, macro and address code. The input's first line is the
// template, the rest the address. Aborts when a result outgrows its capacity or when a local
// path built under a fixed folder leaves it.
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
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t newline = input.find('\n');
    const std::string_view templ = input.substr(0, newline);
    const std::string_view url =
        newline == std::string_view::npos ? std::string_view() : input.substr(newline + 1);

    for (std::int32_t number : {0, 7, 65, -1, std::numeric_limits<std::int32_t>::max()}) {
        Check(kov::ExpandTemplate(templ, kMoment, number, number != 7).size() <=
              kov::kTemplateCapacity);
        Check(kov::ExpandTemplate(templ, kMoment, number, true, 17).size() <= 17);
        std::string numbers;
        kov::ExpandNumberTokens(templ, number, numbers);
        Check(numbers.size() <= kov::kTemplateCapacity);
    }

    kov::MacroContext context;
    context.appFolder = "/opt/kov/";
    context.appDrive = "/";
    context.listName = "List";
    context.listFolder = "/home/me/lists/";
    context.mru = "/home/me/recent/";
    context.now = kMoment;
    for (bool https : {false, true}) {
        context.enableHttps = https;
        for (unsigned set :
             {kov::kPathMacroSet, kov::kNameMacroSet, kov::kFolderMacroSet, 0x1FFFu}) {
            for (std::size_t capacity : {std::size_t{79}, std::size_t{259}, kov::kMacroCapacity}) {
                std::string out;
                if (kov::ExpandMacros(out, capacity, url, templ, set, context))
                    Check(out.size() <= capacity);
            }
        }
    }

    kov::UrlItem item = kov::FreshItem();
    kov::ParseUrlToTemplate(url, item, kMoment, 100, true);
    Check(item.Url.size() <= kov::UrlItem::kUrlCapacity);
    Check(item.StopNumber >= 0);
    std::string series;
    std::int32_t number = 0;
    if (kov::FindNumberSeries(url, series, number, 4)) Check(number >= 0 && number <= 9999);

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
