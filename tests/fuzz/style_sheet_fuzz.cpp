// A fetched style sheet through the ripper: its url(...) references and, today's way, its
// @import addresses become local names in the sheet's folder; nothing else of it changes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "content/html/html_ripper.h"
#include "fuzz_support.h"
#include "local_names_check.h"
#include "rewrite_check.h"

namespace {

constexpr const char* kPageUrl = "http://www.example.com/docs/index.html";
constexpr const char* kSheetUrl = "http://www.example.com/docs/css/site.css";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned options = data[0];
    const std::string_view sheet = kov::fuzz::AsText(data + 1, size - 1);
    static const std::string folder = kov::fuzz::ScratchSubfolder("css");
    static const std::string path = folder + "site.css";
    kov::fuzz::WriteWhole(path, sheet);

    kov::HtmlRipper ripper;
    kov::fuzz::SetRipOptions(ripper, options);
    ripper.SetTrackRewrites(true);
    ripper.ResetLinks(folder + "index.html", kPageUrl);
    ripper.ParseCssFile(path, kSheetUrl);
    kov::fuzz::CheckRewrites(sheet, kov::fuzz::ReadWholeFile(path), ripper.RewrittenRanges(path),
                             false);
    for (std::size_t i = 1; i < ripper.Count(); ++i)
        kov::fuzz::CheckLocalName(ripper.Record(i).localPath, folder);
    return 0;
}
