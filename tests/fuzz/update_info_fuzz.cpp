// The program information a server offers for updates. A file that is taken names a short
// plain version, a build and an installer address of an accepted scheme; the installer it
// names is saved directly in the update folder, never elsewhere. A refused file says why and
// keeps nothing.
#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include "core/text/text_util.h"
#include "fuzz_support.h"
#include "local_names_check.h"
#include "model/local_path.h"
#include "model/url_item.h"
#include "model/url_template.h"
#include "session/update_check.h"

namespace {

constexpr std::time_t kNow = 1700000000;

void CheckTaken(const kov::ProgramInfo& info, bool httpsOnly) {
    kov::fuzz::Check(info.Version.size() <= kov::ProgramInfo::kVersionCapacity, "version size");
    kov::fuzz::Check(!kov::fuzz::HasControl(info.Version) && !kov::fuzz::HasControl(info.URL),
                     "no control characters");
    kov::fuzz::Check(info.URL.size() <= kov::ProgramInfo::kUrlCapacity, "URL size");
    const bool https = kov::IStartsWith(info.URL, "https://");
    if (httpsOnly) kov::fuzz::Check(https, "only https when asked");

    kov::MacroContext context;
    context.appFolder = "/opt/kov/";
    context.appDrive = "/";
    context.now = kNow;
    context.enableHttps = true;
    kov::UrlItem item = kov::FreshItem();
    item.Url = kov::EscapeTemplateText(info.URL);
    item.Dest = "/opt/kov/Update/";
    const std::string path = kov::MakeLocalPath(item, kNow, {}, context);
    kov::fuzz::CheckLocalName(path, "/opt/kov/Update/");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = kov::fuzz::AsText(data, size);
    for (const bool httpsOnly : {false, true}) {
        kov::ProgramInfo info;
        std::string why;
        const int result = kov::ParseProgramInfo(text, httpsOnly, info, why);
        if (result == kov::kInfoOk) {
            kov::fuzz::Check(why.empty(), "a good file has no complaint");
            CheckTaken(info, httpsOnly);
        } else {
            kov::fuzz::Check(result == kov::kInfoUnusable && !why.empty(), "a refusal says why");
            kov::fuzz::Check(info.URL.empty() && info.Version.empty() && info.Build == 0,
                             "a refused file leaves nothing");
        }
    }
    return 0;
}
