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
#include <tuple>
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
    // A name written unquoted holds no blank or quote but in a fragment the reference kept: a
    // "url(" inside a rewritten @import address is text of that address, not a unit that runs
    // on to a later ')'.
    constexpr std::string_view kBreaks = " \t\r\n\f'\"";
    const std::string_view name = after.substr(j + 4, eb - j - 4);
    const std::string_view was = before.substr(i + 4, ea - i - 4);
    const std::string_view checked =
        was.find('#') == std::string_view::npos ? name : name.substr(0, name.find('#'));
    if (!quoted && checked.find_first_of(kBreaks) != std::string_view::npos) return false;
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

inline bool MayStartUrlOrImport(std::string_view text, std::size_t at) {
    const char c = text[at];
    return c == 'u' || c == 'U' || c == '"' || c == '\'' ||
           (at > 0 && (text[at - 1] == '"' || text[at - 1] == '\''));
}

// The address of an @import first: "url(" may well be text inside it.
constexpr Skip kStyleUnits[] = {&SkipImport, &SkipUrl};

// Whether before[i..] and after[j..] are the same text but for rewritten url(...) and @import
// addresses after synced. At a mismatch, each unit that starts at or before it (after synced)
// and takes it in is tried in turn, nearest first, with the rest of the texts: a unit that
// explains the mismatch may still be the wrong reading of what follows. budget bounds the tries.
inline bool StyleTextsAlign(std::string_view before, std::size_t i, std::string_view after,
                            std::size_t j, std::size_t synced, int& budget) {
    while (i < before.size() && j < after.size() && before[i] == after[j]) {
        ++i;
        ++j;
    }
    if (i == before.size() && j == after.size()) return true;
    if (before.empty()) return false;
    constexpr std::size_t kMaxTries = 256;
    std::size_t tries = 0;
    for (std::size_t cand = std::min(i, before.size() - 1) + 1; cand-- > synced;) {
        if (!MayStartUrlOrImport(before, cand)) continue;
        if (++tries > kMaxTries) break;
        if (j < i - cand) continue;
        for (const Skip skip : kStyleUnits) {
            std::size_t ii = cand;
            std::size_t jj = j - (i - cand);
            // Only a unit that takes in the mismatch explains it: an unchanged unit before it
            // reads the same before and after.
            if (!skip(before, ii, after, jj) || (ii <= i && jj <= j)) continue;
            if (--budget < 0) return false;
            if (StyleTextsAlign(before, ii, after, jj, ii, budget)) return true;
        }
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
    int budget = 100000;
    if (rewrite::StyleTextsAlign(before, 0, after, 0, 0, budget)) return;
    std::fputs("before: ", stderr);
    std::fwrite(before.data(), 1, std::min<std::size_t>(before.size(), 300), stderr);
    std::fputs("\nafter:  ", stderr);
    std::fwrite(after.data(), 1, std::min<std::size_t>(after.size(), 300), stderr);
    std::fputs("\n", stderr);
    Check(false, "a byte outside the rewritten references changed");
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

// Reads before[i, endI) and after[j, endJ) as the same references one after another; where
// two units read at a place, each is tried with the rest (the loop goes on where one does, so
// that a long run of tags takes no deep recursion).
inline bool WholeReferences(std::string_view before, std::size_t i, std::size_t endI,
                            std::string_view after, std::size_t j, std::size_t endJ,
                            const std::vector<std::pair<std::size_t, std::size_t>>* blocks,
                            int& budget) {
    const bool tags = blocks != nullptr;
    while (i < endI || j < endJ) {
        if (i >= endI || j >= endJ || --budget < 0) return false;
        if (tags) {
            const std::size_t blockEnd = StyleBlockEnd(*blocks, i);
            if (blockEnd == endI && blockEnd > i) {
                CheckOnlyReferencesChanged(before.substr(i, endI - i), after.substr(j, endJ - j));
                return true;
            }
            if (SkipTag(before, i, after, j)) continue;
        }
        std::pair<std::size_t, std::size_t> reads[2];
        std::size_t count = 0;
        for (const Skip skip : kStyleUnits) {
            std::size_t ii = i;
            std::size_t jj = j;
            // An empty @import address skips nothing: no unit explains what is left.
            if (skip(before, ii, after, jj) && (ii != i || jj != j)) reads[count++] = {ii, jj};
        }
        if (count == 0) return false;
        if (count == 2 && WholeReferences(before, reads[0].first, endI, after, reads[0].second,
                                          endJ, blocks, budget))
            return true;
        std::tie(i, j) = reads[count - 1];
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
        int budget = 100000;
        if (!rewrite::WholeReferences(before, r.begin, r.end, after, at, at + r.length,
                                      tags ? &blocks : nullptr, budget)) {
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
