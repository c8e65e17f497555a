#include "model/exchange_format.h"

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "core/text/text_util.h"
#include "model/item_fields.h"

namespace kov {

namespace {

// ---- writing ----

class RecordText {
public:
    // Line breaks would end the value early and let the rest pose as tags of its own (a name
    // could smuggle in a command), and mail gateways turn a lone CR into a line end.
    void Text(const char* tag, std::string_view value) {
        Begin(tag);
        for (char c : value)
            m_text += (c == '\r' || c == '\n') ? ' ' : c;
        m_text += '\n';
    }
    void Signed(const char* tag, std::int64_t value) { Line(tag, std::to_string(value)); }
    // The unsigned fields were 32-bit words: a stored -1 goes out as 4294967295.
    void Unsigned32(const char* tag, std::int32_t value) {
        Line(tag, std::to_string(static_cast<std::uint32_t>(value)));
    }
    void Unsigned64(const char* tag, std::int64_t value) {
        Line(tag, std::to_string(static_cast<std::uint64_t>(value)));
    }
    void Line(const char* tag, const std::string& value) {
        Begin(tag);
        m_text += value;
        m_text += '\n';
    }
    void Raw(std::string_view line) {
        m_text += line;
        m_text += '\n';
    }
    const std::string& str() const { return m_text; }

private:
    void Begin(const char* tag) {
        m_text += tag;
        m_text += ':';
    }
    std::string m_text;
};

bool Put(std::ostream& out, std::string_view text) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return !out.fail();
}

// ---- reading ----

// A decimal integer after C-style white space and an optional sign, saturated to int64.
std::int64_t ParseInt64(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
    constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;  // |INT64_MIN|
    std::uint64_t magnitude = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        const unsigned digit = static_cast<unsigned>(text[i] - '0');
        magnitude = magnitude > (kLimit - digit) / 10 ? kLimit : magnitude * 10 + digit;
    }
    if (negative)
        return magnitude == kLimit ? std::numeric_limits<std::int64_t>::min()
                                   : -static_cast<std::int64_t>(magnitude);
    return magnitude >= kLimit ? std::numeric_limits<std::int64_t>::max()
                               : static_cast<std::int64_t>(magnitude);
}

// A field written as an unsigned 32-bit word: both "-1" and "4294967295" give -1, so whatever
// the writer produced reads back as the same value. Beyond the word's range it saturates.
std::int32_t ParseWord(std::string_view text) {
    std::int64_t v = ParseInt64(text);
    if (v < std::numeric_limits<std::int32_t>::min()) v = std::numeric_limits<std::int32_t>::min();
    if (v > std::numeric_limits<std::uint32_t>::max())
        v = std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
}

// A byte count: negative sizes mean nothing and read as 0, larger ones saturate.
std::int64_t ParseSize(std::string_view text) {
    const std::uint64_t v = ParseUint64(text);
    constexpr auto kMax = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    return static_cast<std::int64_t>(v > kMax ? kMax : v);
}

struct ReadState {
    UrlItem& item;
    std::time_t now;
    ReplaceRule pending;
};

// A text field of the table, cut to its capacity.
void PutText(ReadState& s, std::string_view key, std::string_view value) {
    const ItemField& field = ItemFieldOf(key);
    PutItemText(s.item, field, CapText(value, static_cast<std::size_t>(field.max)));
}

struct TagHandler {
    const char* tag;  // the five characters that select the handler, colon included
    void (*apply)(ReadState& s, std::string_view value);
};

// clang-format off
constexpr TagHandler kTags[] = {
    {"NAME:", [](ReadState& s, std::string_view v) { PutText(s, "Name", v); }},
    {"URID:", [](ReadState& s, std::string_view v) { PutText(s, "ID", v); }},
    {"HREF:", [](ReadState& s, std::string_view v) { PutText(s, "Url", v); }},
    {"DEST:", [](ReadState& s, std::string_view v) { PutText(s, "Dest", v); }},
    {"REFE:", [](ReadState& s, std::string_view v) { PutText(s, "Referer", v); }},
    {"UCMD:", [](ReadState& s, std::string_view v) { PutText(s, "Cmd", v); }},
    // Narrowed as the 16-bit field it is.
    {"CTYP:", [](ReadState& s, std::string_view v) { s.item.ConType = static_cast<std::int16_t>(ParseInt32(v)); }},
    {"UPMD:", [](ReadState& s, std::string_view v) { s.item.UpdateMode = ParseInt32(v); }},
    {"DAYS:", [](ReadState& s, std::string_view v) { s.item.days = ParseInt32(v); }},
    {"DSHF:", [](ReadState& s, std::string_view v) { s.item.dayShift = ParseInt32(v); }},
    {"DISA:", [](ReadState& s, std::string_view v) { s.item.Disabled = ParseInt32(v); }},
    {"INTV:", [](ReadState& s, std::string_view v) { s.item.interval = ParseInt32(v); }},
    {"CETP:", [](ReadState& s, std::string_view v) { s.item.CEType = ParseInt32(v); }},
    {"CEFR:", [](ReadState& s, std::string_view v) { PutText(s, "CEComeFrom", v); }},
    // As in list files, an empty date leaves 1990-01-01 rather than meaning "now".
    {"LAST:", [](ReadState& s, std::string_view v) { if (!v.empty()) s.item.lastDL = ParseItemDate(v, s.now); }},
    {"EREP:", [](ReadState& s, std::string_view v) { s.item.EnableReplace = ParseInt32(v); }},
    {"RES1:", [](ReadState& s, std::string_view v) { s.pending.find = CapText(v, ReplaceRule::kTextCapacity); }},
    {"RES2:", [](ReadState& s, std::string_view v) { s.pending.replace = CapText(v, ReplaceRule::kTextCapacity); }},
    {"REIC:", [](ReadState& s, std::string_view v) { s.pending.ignoreCase = !v.empty() && v[0] == '1'; }},
    {"REMU:", [](ReadState& s, std::string_view v) { s.pending.multiple = !v.empty() && v[0] == '1'; }},
    {"REAC:", [](ReadState& s, std::string_view v) {
        s.pending.action = ParseInt32(v);
        if (s.item.rules.size() < kExchangeMaxRules) s.item.rules.push_back(std::move(s.pending));
        // Each rule starts empty: one rule's texts must not leak into the next.
        s.pending = ReplaceRule{};
    }},
    {"NFSZ:", [](ReadState& s, std::string_view v) { s.item.nfsize = ParseInt32(v); }},
    {"NFST:", [](ReadState& s, std::string_view v) { PutText(s, "nfString", v); }},
    {"NUBZ:", [](ReadState& s, std::string_view v) { s.item.NumBased = ParseInt32(v); }},
    {"NUCU:", [](ReadState& s, std::string_view v) { s.item.CurrentNum = ParseInt32(v); }},
    {"NUST:", [](ReadState& s, std::string_view v) { s.item.StopNumber = ParseInt32(v); }},
    {"TOLE:", [](ReadState& s, std::string_view v) { s.item.Tolerance = ParseInt32(v); }},
    {"RBAN:", [](ReadState& s, std::string_view v) { s.item.RipBanners = ParseInt32(v); }},
    {"LINK:", [](ReadState& s, std::string_view v) { s.item.WithLinks = ParseInt32(v); }},
    {"NEST:", [](ReadState& s, std::string_view v) { s.item.NestedDepth = ParseInt32(v); }},
    {"CFLD:", [](ReadState& s, std::string_view v) { s.item.ClearFolder = ParseInt32(v); }},
    {"PICS:", [](ReadState& s, std::string_view v) { s.item.WithPics = ParseInt32(v); }},
    {"UNAM:", [](ReadState& s, std::string_view v) { PutText(s, "UserName", v); }},
    {"UPSW:", [](ReadState& s, std::string_view v) { PutText(s, "UserPsw", v); }},
    {"FUDO:", [](ReadState& s, std::string_view v) { s.item.Upload = ParseWord(v); }},
    {"FUSR:", [](ReadState& s, std::string_view v) { PutText(s, "UploadServer", v); }},
    {"FUFO:", [](ReadState& s, std::string_view v) { PutText(s, "UploadFolder", v); }},
    {"FULO:", [](ReadState& s, std::string_view v) { PutText(s, "UploadLogin", v); }},
    {"FUPW:", [](ReadState& s, std::string_view v) { PutText(s, "UploadPassword", v); }},
    {"DDEN:", [](ReadState& s, std::string_view v) { s.item.DstDlActive = ParseInt32(v); }},
    {"DDFS:", [](ReadState& s, std::string_view v) { s.item.DstDlFileSize = ParseSize(v); }},
    {"DDPC:", [](ReadState& s, std::string_view v) { s.item.DstDlPartCount = ParseWord(v); }},
    {"DDPS:", [](ReadState& s, std::string_view v) { s.item.DstDlPartSize = ParseSize(v); }},
    {"DDNO:", [](ReadState& s, std::string_view v) { s.item.DstDlPartNo = ParseWord(v); }},
};
// clang-format on

// The five characters of a tag in any case as one number.
std::uint64_t TagKey(std::string_view tag) {
    std::uint64_t key = 0;
    for (const char c : tag.substr(0, 5))
        key = key << 8 | static_cast<unsigned char>(ToLowerAscii(c));
    return key;
}

// A block holds a line a field, each looked up by its tag: a sorted table rather than a walk
// over every tag. The first of equal tags wins, as in the table above.
const TagHandler* FindTag(std::string_view key) {
    struct Entry {
        std::uint64_t key;
        std::size_t index;
    };
    static const std::vector<Entry> sorted = [] {
        std::vector<Entry> entries;
        for (std::size_t i = 0; i < std::size(kTags); ++i)
            entries.push_back({TagKey(kTags[i].tag), i});
        std::stable_sort(entries.begin(), entries.end(),
                         [](const Entry& a, const Entry& b) { return a.key < b.key; });
        return entries;
    }();
    const std::uint64_t wanted = TagKey(key);
    const auto it = std::lower_bound(sorted.begin(), sorted.end(), wanted,
                                     [](const Entry& e, std::uint64_t k) { return e.key < k; });
    return it != sorted.end() && it->key == wanted ? &kTags[it->index] : nullptr;
}

}  // namespace

bool WriteItem(std::ostream& out, const UrlItem& item, int mode) {
    RecordText r;
    r.Raw("<URL>");
    r.Text("NAME", item.Name);
    r.Text("URID", item.ID);
    r.Text("HREF", item.Url);
    r.Text("DEST", item.Dest);
    if (!item.Referer.empty()) r.Text("REFE", item.Referer);
    if (!item.Cmd.empty()) r.Text("UCMD", item.Cmd);
    r.Signed("CTYP", item.ConType);
    r.Signed("UPMD", item.UpdateMode);
    r.Signed("DAYS", item.days);
    r.Signed("DSHF", item.dayShift);
    if (mode >= 1) r.Signed("DISA", item.Disabled);
    r.Signed("INTV", item.interval);
    if (mode >= 1) {
        r.Signed("CETP", item.CEType);
        r.Text("CEFR", item.CEComeFrom);
        r.Line("LAST", FormatItemDate(item.lastDL));
    }
    r.Signed("EREP", item.EnableReplace);
    for (const ReplaceRule& rule : item.rules) {
        r.Text("RES1", rule.find);
        r.Text("RES2", rule.replace);
        // The reader only knows "1" as on; any other non-zero flag would come back off.
        r.Signed("REIC", rule.ignoreCase != 0 ? 1 : 0);
        r.Signed("REMU", rule.multiple != 0 ? 1 : 0);
        r.Signed("REAC", rule.action);
    }
    if (item.nfsize != 0) r.Signed("NFSZ", item.nfsize);
    r.Text("NFST", item.nfString);
    r.Signed("NUBZ", item.NumBased);
    r.Signed("NUCU", item.CurrentNum);
    r.Signed("NUST", item.StopNumber);
    r.Signed("TOLE", item.Tolerance);
    r.Signed("RBAN", item.RipBanners);
    r.Signed("LINK", item.WithLinks);
    r.Signed("NEST", item.NestedDepth);
    if (mode >= 2) r.Signed("CFLD", item.ClearFolder);
    r.Signed("PICS", item.WithPics);
    r.Text("UNAM", item.UserName);
    r.Text("UPSW", item.UserPsw);
    r.Unsigned32("FUDO", item.Upload);
    r.Text("FUSR", item.UploadServer);
    r.Text("FUFO", item.UploadFolder);
    r.Text("FULO", item.UploadLogin);
    r.Text("FUPW", item.UploadPassword);
    r.Signed("DDEN", item.DstDlActive);
    r.Unsigned64("DDFS", item.DstDlFileSize);
    r.Unsigned32("DDPC", item.DstDlPartCount);
    r.Unsigned64("DDPS", item.DstDlPartSize);
    r.Unsigned32("DDNO", item.DstDlPartNo);
    r.Raw("</URL>");
    return Put(out, r.str());
}

bool WriteBlock(std::ostream& out, const std::vector<UrlItem>& items, int mode) {
    if (!Put(out, "<URLIST>\n<VERSION 1.0/>\n")) return false;
    for (const UrlItem& item : items) {
        if (!WriteItem(out, item, mode)) return false;
    }
    return Put(out, "</URLIST>");
}

std::string_view ExchangeReader::NextLine() {
    const std::size_t end = m_text.find('\n', m_pos);
    const std::size_t stop = end == std::string_view::npos ? m_text.size() : end;
    std::string_view line = m_text.substr(m_pos, stop - m_pos);
    m_pos = end == std::string_view::npos ? m_text.size() : end + 1;
    // Mail gateways turn line feeds into CR LF.
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    return line;
}

bool ExchangeReader::ReadItem(UrlItem& item, std::time_t now) {
    item.lastDL = DefaultLastDownload();
    ReadState state{item, now, {}};
    bool found = false;
    while (!AtEnd()) {
        const std::string_view line = NextLine();
        if (IStartsWith(line, "</URL>") || line.starts_with("</URLIST")) break;
        if (IEquals(line, "<URL>")) {
            found = true;
            continue;
        }
        if (line.size() < 5) continue;
        if (const TagHandler* h = FindTag(line.substr(0, 5))) {
            h->apply(state, line.substr(5));
            // An HREF line alone makes a record.
            if (std::string_view(h->tag) == "HREF:") found = true;
        }
    }
    // Blocks come from other programs and from mail: their numbers are no safer than a file's.
    ClampItemRanges(item);
    return found;
}

std::vector<UrlItem> ReadBlock(std::string_view text, std::time_t now) {
    std::vector<UrlItem> items;
    ExchangeReader reader(text);
    for (;;) {
        UrlItem item = FreshItem();
        if (!reader.ReadItem(item, now)) break;
        items.push_back(std::move(item));
    }
    return items;
}

}  // namespace kov
