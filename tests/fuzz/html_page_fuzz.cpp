// A saved page through the ripper: what it embeds and links to is collected and rewritten to
// local names. Every local name stays in the page's folder, and the page keeps every byte
// outside the ranges the ripper says it replaced, each of them whole references. The first
// byte of the input picks the options (16: no frames) and the pass: 32 collects the page's
// links to other pages of the site, else what it embeds. One pass an input: a page that an
// earlier pass rewrote is an input too. 64 hands the page over as a mirror's fetcher does:
// read already, with its tags found in one walk, held in memory while the passes rewrite it
// (the tags moved along with every rewrite) and written once at the end. 128 after the links
// pass: as the last pass of a rip, links to the odd records point at their local copies, and
// the others on the web.
#include <cctype>
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>

#include "content/html/html_ripper.h"
#include "content/html/html_tag.h"
#include "content/html/page_file.h"
#include "content/html/page_scan_cursor.h"
#include "fuzz_support.h"
#include "local_names_check.h"
#include "rewrite_check.h"

namespace {

constexpr const char* kPageUrl = "http://www.example.com/docs/lib/index.html";

void CheckRecords(const kov::HtmlRipper& ripper, const std::string& folder) {
    for (std::size_t i = 1; i < ripper.Count(); ++i)
        kov::fuzz::CheckLocalName(ripper.Record(i).localPath, folder);
}

// The scans take a tag where the cursor finds one and rewrite it to where HtmlTag reads it:
// both must agree on where it ends, or a rewrite could reach into the next tag. The scans
// name tags by letters and digits only: "<m/=" is no tag named "m/=".
void CheckTagExtents(std::string_view page) {
    kov::PageScanCursor cursor(page);
    kov::HtmlTag tag;
    for (std::size_t at = page.find('<'); at != std::string_view::npos;
         at = page.find('<', at + 1)) {
        if (!cursor.StartsTag(at)) continue;
        std::size_t end = at + 1;
        while (end < page.size() && std::isalnum(static_cast<unsigned char>(page[end])))
            ++end;
        if (end == at + 1) continue;
        const std::size_t length = tag.Read(page, at, page.substr(at + 1, end - at - 1));
        if (length != 0) kov::fuzz::Check(cursor.TagEnd(at) == at + length, "one reading of a tag");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned options = data[0];
    const std::string_view page = kov::fuzz::AsText(data + 1, size - 1);
    static const std::string folder = kov::fuzz::ScratchSubfolder("site");
    static const std::string path = folder + "index.html";
    kov::fuzz::WriteWhole(path, page);
    CheckTagExtents(page);

    kov::HtmlRipper ripper;
    kov::fuzz::SetRipOptions(ripper, options);
    ripper.SetTrackRewrites(true);
    ripper.ResetLinks(path, kPageUrl);
    const bool handedOver = (options & 64) != 0;
    if (handedOver) {
        kov::PageFile file;
        kov::fuzz::Check(file.Load(path), "the page is read");
        ripper.SetHoldBytes(std::size_t{1} << 24);
        ripper.HoldPage(path, std::move(file), kov::HtmlRipper::TagsOf(page));
    }
    if ((options & 32) != 0) {
        ripper.GrabHtmlLinks(path, kPageUrl, 0, 0);
        if ((options & 128) != 0) {
            for (std::size_t i = 0; i < ripper.Count(); ++i)
                ripper.SetDownloaded(i, i == 0 || i % 2 == 1);
            ripper.SetHtml(0);
            ripper.AdjustCrossRefs(0);
        }
    } else {
        ripper.ParseHtmlFile(path, kPageUrl, (options & 16) != 0);
    }
    if (handedOver) kov::fuzz::Check(ripper.WriteHeldPages(), "the held page is written");
    kov::fuzz::CheckRewrites(page, kov::fuzz::ReadWholeFile(path), ripper.RewrittenRanges(path),
                             true);
    CheckRecords(ripper, folder);
    return 0;
}
