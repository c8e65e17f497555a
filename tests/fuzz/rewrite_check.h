#pragma once

// Compares a page or style sheet before and after the ripper rewrote it: every byte outside
// the rewritten references must be kept. A rewritten reference is a whole start tag (written
// anew with the same name and the same attributes in the same order), a url(...), the quoted
// address of an @import, or the text of a style block whose references changed.
//
// CheckRewrites is exact: the ripper tells which ranges it replaced, every byte outside them
// must be the original's, and a scan of its own must read each range as whole references.
// CheckOnlyReferencesChanged lines the two texts up itself; it serves for the text of a style
// block, which the ripper tells as one range.

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <initializer_list>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "content/html/html_ripper.h"
#include "content/html/html_tag.h"
#include "content/html/link_kind.h"
#include "content/html/page_scan_cursor.h"
#include "content/html/rewrite_map.h"
#include "core/text/text_util.h"
#include "fuzz_support.h"

namespace kov::fuzz {

namespace rewrite {

// The scans name tags by letters and digits only: "<@import" starts no tag of theirs.
inline std::string_view TagNameAt(std::string_view text, std::size_t pos) {
    std::size_t end = pos + 1;
    while (end < text.size() && std::isalnum(static_cast<unsigned char>(text[end])))
        ++end;
    return text.substr(pos + 1, end - pos - 1);
}

inline bool SkipTag(std::string_view before, std::size_t& i, std::string_view after,
                    std::size_t& j) {
    if (before[i] != '<' || j >= after.size() || after[j] != '<') return false;
    const std::string_view name = TagNameAt(before, i);
    if (name.empty()) return false;
    HtmlTag a;
    HtmlTag b;
    const std::size_t la = a.Read(before, i, name);
    const std::size_t lb = b.Read(after, j, name);
    if (la == 0 || lb == 0 || a.attributes.size() != b.attributes.size()) return false;
    for (std::size_t k = 0; k < a.attributes.size(); ++k)
        if (!IEquals(a.attributes[k].name, b.attributes[k].name)) return false;
    i += la;
    j += lb;
    return true;
}

inline bool SkipUrl(std::string_view before, std::size_t& i, std::string_view after,
                    std::size_t& j) {
    if (!IEquals(before.substr(i, 4), "url(") || !IEquals(after.substr(j, 4), "url(")) return false;
    const std::size_t ea = before.find(')', i + 4);
    const bool quoted = j + 4 < after.size() && after[j + 4] == '"';
    std::size_t eb = quoted ? after.find("\")", j + 5) : after.find(')', j + 4);
    if (ea == std::string_view::npos || eb == std::string_view::npos) return false;
    // A name written unquoted holds no blank or quote: a "url(" inside a rewritten @import
    // address is text of that address, not a unit that runs on to a later ')'.
    const std::string_view name = after.substr(j + 4, eb - j - 4);
    if (!quoted && name.find_first_of(" \t\r\n\f'\"") != std::string_view::npos) return false;
    if (quoted) ++eb;
    i = ea + 1;
    j = eb + 1;
    return true;
}

// The address of @import "..." (i just after the opening quote).
inline bool SkipImport(std::string_view before, std::size_t& i, std::string_view after,
                       std::size_t& j) {
    if (i == 0 || j == 0 || (before[i - 1] != '"' && before[i - 1] != '\'')) return false;
    const char quote = before[i - 1];
    if (after[j - 1] != quote) return false;
    std::size_t k = i - 1;
    while (k > 0 && IsTagSpace(before[k - 1]))
        --k;
    if (k < 7 || !IEquals(before.substr(k - 7, 7), "@import")) return false;
    const std::size_t ea = before.find(quote, i);
    const std::size_t eb = after.find(quote, j);
    if (ea == std::string_view::npos || eb == std::string_view::npos) return false;
    i = ea;
    j = eb;
    return true;
}

using Skip = bool (*)(std::string_view, std::size_t&, std::string_view, std::size_t&);

// Tries the units that may start at cand (at or before the mismatch at i, j).
inline bool SkipUnitAt(std::string_view before, std::size_t cand, std::size_t& i,
                       std::string_view after, std::size_t& j, std::initializer_list<Skip> skips) {
    if (j < i - cand) return false;
    for (const Skip skip : skips) {
        std::size_t ii = cand;
        std::size_t jj = j - (i - cand);
        // Only a unit that takes in the mismatch explains it: an unchanged tag inside the
        // value of a rewritten one reads the same before and after.
        if (!skip(before, ii, after, jj) || (ii <= i && jj <= j)) continue;
        i = ii;
        j = jj;
        return true;
    }
    return false;
}

inline bool MayStartUrlOrImport(std::string_view text, std::size_t at) {
    const char c = text[at];
    return c == 'u' || c == 'U' || c == '"' || c == '\'' ||
           (at > 0 && (text[at - 1] == '"' || text[at - 1] == '\''));
}

// The nearest unit after synced that starts at or before the mismatch and takes it in.
inline bool SkipNearest(std::string_view before, std::size_t& i, std::string_view after,
                        std::size_t& j, std::size_t synced,
                        bool (*mayStart)(std::string_view, std::size_t),
                        std::initializer_list<Skip> skips) {
    constexpr std::size_t kMaxTries = 256;
    std::size_t tries = 0;
    for (std::size_t cand = std::min(i, before.size() - 1) + 1; cand-- > synced;) {
        if (!mayStart(before, cand)) continue;
        if (SkipUnitAt(before, cand, i, after, j, skips)) return true;
        if (++tries == kMaxTries) break;
    }
    return false;
}

}  // namespace rewrite

// The ripper's options from the bits of the input's first byte: 1 today's web, 2 https, 4 names
// after the page, 8 every kind of resource (else pictures and style sheets).
inline void SetRipOptions(HtmlRipper& ripper, unsigned options) {
    ripper.SetModern((options & 1) != 0);
    ripper.SetEnableHttps((options & 2) != 0);
    ripper.SetSaveOriginalNames((options & 4) == 0);
    ripper.SetKinds((options & 8) != 0 ? kKindAll : kKindPicture | kKindStyle);
}

// Aborts unless after is the style text before with some url(...) and @import addresses
// rewritten.
inline void CheckOnlyReferencesChanged(std::string_view before, std::string_view after) {
    if (before.empty()) {
        Check(after.empty(), "an empty text stays empty");
        return;
    }
    std::size_t i = 0;
    std::size_t j = 0;
    std::size_t synced = 0;  // the end of the last rewritten unit in before
    while (i < before.size() || j < after.size()) {
        if (i < before.size() && j < after.size() && before[i] == after[j]) {
            ++i;
            ++j;
            continue;
        }
        // The mismatch lies in a unit that starts at or before it, after the last unit.
        using namespace rewrite;
        const bool skipped =
            SkipNearest(before, i, after, j, synced, &MayStartUrlOrImport, {&SkipImport, &SkipUrl});
        if (!skipped) {
            // Written whole: a NUL in the text must not cut what is shown.
            const std::size_t from = i - std::min<std::size_t>(i - synced, 60);
            const std::size_t at = j - (i - from);
            std::fputs("before: ", stderr);
            std::fwrite(before.data() + from, 1, std::min<std::size_t>(before.size() - from, 120),
                        stderr);
            std::fputs("\nafter:  ", stderr);
            std::fwrite(after.data() + at, 1, std::min<std::size_t>(after.size() - at, 120),
                        stderr);
            std::fputs("\n", stderr);
        }
        Check(skipped, "a byte outside the rewritten references changed");
        synced = i;
    }
}

namespace rewrite {

// The texts of the style blocks of a page, [after the start tag, before the end tag), in page
// order. The tags are found by the cursor: a tag's values may hold a '<' of their own.
inline std::vector<std::pair<std::size_t, std::size_t>> StyleBlocks(std::string_view text) {
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    PageScanCursor cursor(text);
    for (std::size_t open = FindNoCase(text, "<style"); open != std::string_view::npos;
         open = FindNoCase(text, "<style", open + 1)) {
        const char next = open + 6 < text.size() ? text[open + 6] : '\0';
        if (!(IsTagSpace(next) || next == '>' || next == '/') || !cursor.StartsTag(open)) continue;
        const std::size_t start = cursor.TagEnd(open);
        const std::size_t end = FindNoCase(text, "</style", start);
        if (end != std::string_view::npos) blocks.emplace_back(start, end);
    }
    return blocks;
}

// The end of the style block whose text starts at pos; 0 when none does.
inline std::size_t StyleBlockEnd(const std::vector<std::pair<std::size_t, std::size_t>>& blocks,
                                 std::size_t pos) {
    const auto it = std::lower_bound(blocks.begin(), blocks.end(), std::pair(pos, std::size_t{0}));
    return it != blocks.end() && it->first == pos ? it->second : 0;
}

// Reads before[i, endI) and after[j, endJ) as the same references one after another.
inline bool WholeReferences(std::string_view before, std::size_t i, std::size_t endI,
                            std::string_view after, std::size_t j, std::size_t endJ,
                            const std::vector<std::pair<std::size_t, std::size_t>>* blocks) {
    const bool tags = blocks != nullptr;
    while (i < endI || j < endJ) {
        if (i > endI || j > endJ) return false;
        if (tags && i < endI) {
            const std::size_t blockEnd = StyleBlockEnd(*blocks, i);
            if (blockEnd == endI && blockEnd > i) {
                CheckOnlyReferencesChanged(before.substr(i, endI - i), after.substr(j, endJ - j));
                return true;
            }
        }
        const std::size_t wasI = i;
        const std::size_t wasJ = j;
        // The address of an @import first: "url(" may well be text inside it.
        const bool skipped = (tags && i < endI && SkipTag(before, i, after, j)) ||
                             SkipImport(before, i, after, j) || SkipUrl(before, i, after, j);
        // An empty @import address skips nothing: no unit explains what is left.
        if (!skipped || (i == wasI && j == wasJ)) return false;
    }
    return true;
}

}  // namespace rewrite

// Aborts unless after is before with exactly the ranges replaced, each a run of whole
// references (tags only when tags is set).
inline void CheckRewrites(std::string_view before, std::string_view after,
                          const std::vector<RewrittenRange>& ranges, bool tags) {
    std::vector<std::pair<std::size_t, std::size_t>> blocks;
    if (tags && !ranges.empty()) blocks = rewrite::StyleBlocks(before);
    std::size_t from = 0;  // in before
    std::size_t at = 0;    // in after
    for (const RewrittenRange& r : ranges) {
        Check(r.begin >= from && (&r == &ranges.front() || r.begin > from) && r.begin <= r.end &&
                  r.end <= before.size(),
              "rewritten ranges in order and apart");
        const std::size_t kept = r.begin - from;
        Check(at + kept + r.length <= after.size() &&
                  before.substr(from, kept) == after.substr(at, kept),
              "a byte outside the rewritten ranges changed");
        at += kept;
        if (!rewrite::WholeReferences(before, r.begin, r.end, after, at, at + r.length,
                                      tags ? &blocks : nullptr)) {
            std::fputs("before: ", stderr);
            std::fwrite(before.data() + r.begin, 1, std::min<std::size_t>(r.end - r.begin, 200),
                        stderr);
            std::fputs("\nafter:  ", stderr);
            std::fwrite(after.data() + at, 1, std::min<std::size_t>(r.length, 200), stderr);
            std::fputs("\n", stderr);
            Check(false, "a rewritten range is whole references");
        }
        at += r.length;
        from = r.end;
    }
    CheckSame(before.substr(from), after.substr(std::min(at, after.size())),
              "a byte outside the rewritten ranges changed");
}

}  // namespace kov::fuzz
