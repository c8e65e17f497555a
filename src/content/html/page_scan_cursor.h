#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

namespace kov {

// Reads the tags of a page in order the way a browser does, so that a scan takes for a tag only
// what a browser takes for one: not text inside another tag (a quoted value left open swallows
// the tags after it), nor the raw text of a script or style block. A rewrite then never lands
// inside another tag and never changes how an enclosing tag reads. Positions asked about must
// not go back; the text must not change while the cursor is used.
class PageScanCursor {
public:
    using Range = std::pair<std::size_t, std::size_t>;  // [first, second)

    explicit PageScanCursor(std::string_view text) : m_text(text) {}

    // True when a tag begins at pos.
    bool StartsTag(std::size_t pos);
    // Reads the next tag in page order (start or end tag); false at the end of the text. Its
    // place is then Start(), the end of its name NameEnd() and its end End().
    bool NextTag() { return ReadOne(std::string_view::npos); }
    std::size_t Start() const { return m_start; }
    std::size_t NameEnd() const { return m_nameEnd; }
    std::size_t End() const { return m_end; }
    // The end of the tag that begins at pos (just after its '>'); the end of the text when the
    // tag never ends, which then takes in the rest of the page as a browser does.
    std::size_t TagEnd(std::size_t pos) const;
    // The attribute value of a tag that holds [first, last]; nullopt when no single value
    // holds the whole range.
    std::optional<Range> ValueAround(std::size_t first, std::size_t last);

private:
    // Reads every tag that begins at or before pos.
    void ReadTo(std::size_t pos);
    // Reads the next tag if it begins at or before limit; false when there is none.
    bool ReadOne(std::size_t limit);
    // Walks the tag at pos to its end; the ranges of its values go to values.
    std::size_t Walk(std::size_t pos, std::vector<Range>* values) const;
    // The same from i, the end of the tag's name.
    std::size_t WalkFrom(std::size_t i, std::vector<Range>* values) const;

    std::string_view m_text;
    std::size_t m_next = 0;                        // each '<' before it has been read
    std::size_t m_start = std::string_view::npos;  // the last tag read
    std::size_t m_end = 0;                         // and its end
    std::size_t m_nameEnd = 0;                     // and the end of its name
    // The values of the tag last asked about: a tag of many references is walked once.
    std::size_t m_valuesOf = std::string_view::npos;
    std::vector<Range> m_values;
};

}  // namespace kov
