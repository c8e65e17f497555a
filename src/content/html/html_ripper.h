#pragma once

#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "content/html/link_list.h"
#include "content/html/link_memo.h"
#include "content/html/page_file.h"
#include "content/html/page_tags.h"
#include "content/html/rewrite_map.h"
#include "content/html/rip_names.h"

namespace kov {

class HtmlTag;
struct UrlParts;

// Turns saved pages into a local copy of a site: collects what a page embeds and, on request,
// the pages it links to on the same host, names a local file for each in the page's folder,
// rewrites the references to those names and keeps the list of what is still to be fetched.
// One ripper serves one download job; every page fetched for the job goes through it.
class HtmlRipper {
public:
    // The media type a server gives a URL ("" when unknown).
    using TypeQuery = std::function<std::string(const std::string& url)>;

    HtmlRipper() = default;
    // Writes the pages it still holds.
    ~HtmlRipper();
    // Not copied: the names it uses may be its own.
    HtmlRipper(const HtmlRipper&) = delete;
    HtmlRipper& operator=(const HtmlRipper&) = delete;

    // Pages rewritten by the passes of a rip (embedded resources, links, cross references) are
    // held in memory up to this many bytes and written once, by their last pass or by
    // WriteHeldPages; 0 (the default): every pass writes its page.
    void SetHoldBytes(std::size_t bytes) { m_holdLimit = bytes; }
    // Writes every page still held; false when one could not be written.
    bool WriteHeldPages();
    // A page read elsewhere (a fetcher thread read it as it arrived) for the passes to take
    // instead of reading it again; not taken when there is no room to hold it. Held, it is
    // written by its last pass or by WriteHeldPages, changed or not.
    // tags: the page's tags (TagsOf) when the fetcher walked it too.
    void HoldPage(const std::string& path, PageFile page, PageTags tags = {});
    // The tags of a page that the passes look for, found the way they find them; for a thread
    // that reads a page before the ripper takes it.
    static PageTags TagsOf(std::string_view text);

    void SetKinds(int kinds) { m_kinds = kinds & 0xFFFF; }
    int Kinds() const { return m_kinds; }
    void SetCancelFlag(const std::atomic<int>* flag) { m_cancel = flag; }
    // Asks the server for the type of a link whose name says nothing.
    void SetDetectUrlTypes(bool on, TypeQuery query);
    // Keeps the resources' own file names; off: names after the page plus a number.
    void SetSaveOriginalNames(bool on) { m_originalNames = on; }
    // Today's web: style sheets by rel, @import, srcset and media tags, relative cross
    // references, and with https on, a site is one host whatever its scheme.
    void SetModern(bool on) { m_modern = on; }
    void SetEnableHttps(bool on) { m_https = on; }
    // Names given by earlier passes of the same job; the ripper adds its own (nullptr: none).
    void SetNames(RipNames* names) { m_names = names ? names : &m_ownNames; }

    void SetPageHost(const std::string& url);
    // Empties the list and makes the main page record 0.
    void ResetLinks(const std::string& localPath, const std::string& url);
    // Appends an earlier rip's records of the same main page (its record 0 left out), none of
    // them fetched yet, under the local names they had.
    void RestoreLinks(const std::vector<LinkRecord>& earlier);

    // Collects and rewrites what one saved page embeds; the number of records.
    int ParseHtmlFile(const std::string& path, const std::string& url, bool noFrames);
    // Collects the same-host links of one saved page, found on record parent at depth; the
    // number of new links.
    int GrabHtmlLinks(const std::string& path, const std::string& url, int depth, int parent);
    // Collects and rewrites the references of a fetched style sheet; the number of new records.
    int ParseCssFile(const std::string& path, const std::string& url);
    // Points the links of fetched page i at the local copies of fetched pages; the number of
    // links changed.
    int AdjustCrossRefs(std::size_t i);
    // For rewriting the cross references of several pages at once, one ripper per thread: a
    // ripper with copies of this one's settings and records that reads the pages from the disk
    // unless they are handed over to it. Whether each record has a local copy is settled here
    // first, so the workers never ask the disk again and agree with a pass on this ripper.
    std::unique_ptr<HtmlRipper> CrossRefWorker();
    // Gives the held copy of page path (if any) to another ripper, which then writes it.
    void HandOver(const std::string& path, HtmlRipper& to);

    // For checks of the rewriting (off by default: it costs a little per rewrite): which byte
    // ranges of each page or style sheet as last read from the disk the passes of this ripper
    // have replaced since, and by how many bytes (see RewriteMap); a page it wrote itself and
    // reads again counts from its first reading. A style block of a page
    // whose references changed counts as one range; workers keep their own.
    void SetTrackRewrites(bool on) { m_trackRewrites = on; }
    std::vector<RewrittenRange> RewrittenRanges(const std::string& path) const;

    std::size_t Count() const { return m_links.Count(); }
    const LinkRecord& Record(std::size_t i) const { return m_links.At(i); }
    void SetDownloaded(std::size_t i, bool on) { m_links.At(i).downloaded = on; }
    // Marks a fetched record as an HTML page (cross references are rewritten in pages only).
    void SetHtml(std::size_t i) { m_links.At(i).html = true; }
    void SetFetch(std::size_t i, bool on) { m_links.At(i).fetch = on; }
    // A redirected record: its page's relative links are resolved against where it came from.
    void SetFinalUrl(std::size_t i, const std::string& url) { m_links.At(i).finalUrl = url; }

    // A link that belongs to the site: same host and port, http (or https too, see SetModern).
    bool PassesHostTest(std::string_view url) const;
    bool Cancelled() const { return m_cancel && m_cancel->load() != 0; }

private:
    enum class Match { None, Equals, HasWord, StyleLink };
    // A page held between passes, with its tags when they were walked.
    struct HeldPage {
        PageFile file;
        PageTags tags;
        std::size_t Bytes() const {
            return file.text.size() + tags.All().size() * sizeof(PageTags::Tag);
        }
    };
    struct ScanRow {
        int kind;        // the bit that enables the row
        int recordKind;  // the kind records get
        std::string_view tag, attribute, condAttribute, condValue;
        Match match = Match::None;
        bool byExtension = false;  // the record's kind from its name
        bool srcset = false;       // a list of "url descriptor" candidates
    };

    // Makes the page the one references are resolved against and named beside.
    void LoadPage(const std::string& path, const std::string& url);
    // The page as the last pass left it: held, or read from the disk. Its tags, when held with
    // them, become the current ones (m_tags).
    bool TakePage(const std::string& path, PageFile& page);
    // Ends a pass over a page: held with the current tags when there is room, written now when
    // final or not.
    void PutPage(const std::string& path, PageFile page, bool final);
    void TakeBase();
    // What a scan does with one tag: it may change the tag and returns true to have it written
    // back in the tag's place.
    using TagVisit = std::function<bool(HtmlTag& tag)>;
    // Walks the start tags of one name outside scripts in page order until cancelled, and
    // rewrites the page text with the tags the visit changed (m_changed then set).
    void ScanTags(std::string_view name, const TagVisit& visit);
    int GrabEmbedded(const ScanRow& row, int depth, bool sameHost, bool rewrite);
    bool RowAccepts(const ScanRow& row, const HtmlTag& tag) const;
    // A <link> whose address the collection of embedded resources took (a style sheet, an icon).
    bool LinkCollected(const HtmlTag& tag) const;
    // The local reference for a raw link value (local name and fragment), recording the URL
    // when new; nullopt when the reference stays as it is.
    std::optional<std::string> Collect(std::string_view raw, int kind, int depth, bool sameHost,
                                       bool byExtension = false);
    std::optional<std::string> CollectNew(std::string_view raw, int kind, int depth, bool sameHost,
                                          bool byExtension);
    std::optional<std::string> CollectSrcset(std::string_view value, int kind);
    bool InsideScript(std::size_t pos) const;
    bool SameSite(const UrlParts& parts) const;
    // PassesHostTest of an address already split.
    bool OnSite(const UrlParts& parts) const;
    void FindScripts();
    // A lower-case needle in the page text (any case), from a position; npos when none.
    std::size_t FindInPage(std::string_view lowerNeedle, std::size_t from = 0);

    // Local names.
    bool MakeLocalName(LinkRecord& record);
    std::string ExtensionFromType(const std::string& url) const;

    // Style sheets.
    // Ends a rewrite of text: the rest after `copied` goes to out, which then replaces text.
    void FinishRewrite(std::string& text, std::string& out, std::size_t copied);
    // A rewrite of the current pass: [begin, end) of the text became length bytes.
    void NoteRewrite(std::size_t begin, std::size_t end, std::size_t length) {
        m_pass.push_back({begin, end, length});
    }
    // The pass over text ends (old: the text before it); the page's tags and script marks move
    // with its rewrites, which count when text is the one tracked.
    void EndPass(const std::string& text, std::string_view old);
    // The script marks of the page before a pass moved with its rewrites; false when a rewrite
    // may have added or removed one, and they must be looked for again.
    bool MoveScripts(std::string_view old);
    // The rewrites of text read from path are tracked from here; fresh: it was read anew (not
    // as this ripper wrote it).
    void TrackText(const std::string& path, const std::string& text, bool fresh);
    int GrabStyleUrls(std::string& text, bool sheetMode);
    int GrabImports(std::string& text);
    int GrabStyleBlocks();

    void AddRecord(LinkRecord record);
    // An earlier pass, or an earlier record of this one, holds the path for another address.
    bool PathTaken(const std::string& path, const std::string& url) const;
    std::string ReferenceTo(const std::string& localPath) const;
    bool LocalCopyExists(std::size_t i);
    // The new value of an href of fetched page i (found at pageUrl), nullopt when it stays.
    std::optional<std::string> CrossRefFor(const std::string& href, std::size_t i,
                                           const std::string& pageUrl);
    std::optional<std::string> CrossRefNew(const std::string& href, std::size_t i,
                                           const std::string& base);

    LinkList m_links;
    int m_kinds = 0xFFFF;
    const std::atomic<int>* m_cancel = nullptr;
    bool m_detectTypes = false;
    TypeQuery m_typeQuery;
    bool m_originalNames = true;
    bool m_modern = false;
    bool m_https = false;
    RipNames m_ownNames;
    RipNames* m_names = &m_ownNames;
    int m_parent = 0;
    int m_added = 0;         // records appended so far
    bool m_changed = false;  // the current operation rewrote the text

    std::string m_pageHost;
    int m_pagePort = 0;  // 0: the scheme's own
    std::string m_baseUrl;
    std::string m_pageUrl;
    std::string m_pageFolder;
    std::string m_pageBase;
    std::string m_text;         // the page being worked on
    unsigned m_version = 0;     // counts the changes of m_text
    PageTags m_tags;            // of m_text, read when first needed
    bool m_tagsAstray = false;  // a rewrite of the pass may have changed how the page reads
    std::string m_scratch;      // the buffer a rewrite left, for the next one
    std::unordered_map<std::string, HeldPage> m_held;  // by local path
    std::size_t m_heldBytes = 0;
    std::size_t m_holdLimit = 0;
    std::vector<signed char> m_exists;                       // per record: -1 not asked yet, 0 or 1
    std::unordered_map<std::string, unsigned> m_nextNumber;  // per local name, lower case
    // What links came to on the page of the current pass, by their part before the fragment.
    LinkMemo m_knownLinks;
    LinkMemo m_knownCrossRefs;
    // A cross-reference worker's: what links came to on the pages it did before, by the local
    // folder of the page, the folder the link was resolved in and the link itself (links that
    // start with neither '?' nor '#'); whole links and links by their part before a fragment.
    bool m_sharedCrossRefs = false;
    LinkMemo m_folderCrossRefs;
    std::unordered_map<std::string, std::optional<std::string>, LinkMemoHash, std::equal_to<>>
        m_folderWholeCrossRefs;
    std::string m_crossRefKey;  // the key of the link being looked up
    // The record links to places on the current page ("#top") lead to; kNotWorkedOut at first.
    static constexpr int kNotWorkedOut = -2;
    int m_selfTarget = kNotWorkedOut;
    // The ReferenceFolder of the current page's base, once asked for.
    std::string m_baseFolder;
    bool m_baseFolderKnown = false;
    bool m_trackRewrites = false;
    std::vector<RewrittenRange> m_pass;
    std::unordered_map<std::string, RewriteMap> m_rewrites;  // by local path
    std::unordered_set<std::string> m_wrote;                 // pages written while tracking
    std::string m_trackedPath;
    const std::string* m_trackedText = nullptr;
};

}  // namespace kov
