#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "content/html/rewrite_map.h"

namespace kov {

// The start tags of a page as a PageScanCursor reads them, found in one walk, so that the
// passes of a rip, each after the tags of a name or two, do not read the page once each. Only
// tags whose name is followed by white space are listed: a tag without attributes holds no
// reference. Kept in step with the rewrites of the page, which then need no new walk.
class PageTags {
public:
    struct Tag {
        std::size_t pos = 0;    // its '<'
        std::size_t end = 0;    // just after its '>' (the end of the text when it never ends)
        std::uint64_t key = 0;  // its name (see Key)
    };

    // A tag name as a number, any case; 0 for names longer than 7 bytes, which no pass takes.
    static std::uint64_t Key(std::string_view name);

    // Walks text for the tags of the names given as keys.
    void Read(std::string_view text, std::span<const std::uint64_t> keys);
    // Not read yet, or no longer in step with the text.
    bool Ready() const { return m_ready; }
    // Not read, script marks too.
    void Clear();
    const std::vector<Tag>& All() const { return m_tags; }
    // The text changed by one pass of rewrites, each [begin, end) of the text before the pass
    // now length bytes, in order and apart: a tag rewritten whole as a tag of the same name,
    // or text that reads as before around it. Tags after a rewrite move with it.
    void Shift(const std::vector<RewrittenRange>& pass);

    // Where "<script" and "</script>" stand in the text (any case, wherever they are: scans
    // skip what lies between them), found apart from the tags.
    void FindMarks(std::string_view text);
    bool MarksReady() const { return m_marksReady; }
    void DropMarks() { m_marksReady = false; }
    const std::vector<std::size_t>& Opens() const { return m_opens; }
    const std::vector<std::size_t>& Closes() const { return m_closes; }
    // The marks moved with a pass of rewrites that neither made nor broke one.
    void ShiftMarks(const std::vector<RewrittenRange>& pass);

    // What passes look for in the whole text ("<base", "url(", any case): found nowhere in
    // it, they need no search. Known from FindAbsent on the text as read, and kept through
    // passes of rewrites whose new text, with what stands around it, holds none.
    enum Needle : unsigned { kBaseTag = 1, kStyleUrl = 2 };
    void FindAbsent(std::string_view text);
    bool Absent(Needle needle) const { return (m_absent & needle) != 0; }
    // text: the text after the pass.
    void KeepAbsent(std::string_view text, const std::vector<RewrittenRange>& pass);

private:
    std::vector<Tag> m_tags;
    bool m_ready = false;
    std::vector<std::size_t> m_opens, m_closes;
    bool m_marksReady = false;
    unsigned m_absent = 0;
};

}  // namespace kov
