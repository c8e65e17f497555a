#include "content/rules/text_replacer.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <new>

#include "content/rules/safe_copy.h"
#include "core/text/text_util.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr std::size_t kNpos = std::string_view::npos;
constexpr std::size_t kSpare = 512;

struct LowerHash {
    std::size_t operator()(char c) const { return static_cast<unsigned char>(ToLowerAscii(c)); }
};
struct LowerEqual {
    bool operator()(char a, char b) const { return ToLowerAscii(a) == ToLowerAscii(b); }
};

// Finds one text again and again in a rule's pass, with or without case.
class Finder {
public:
    Finder(std::string_view what, bool ignoreCase)
        : m_what(what), m_ignoreCase(ignoreCase), m_searcher(what.begin(), what.end()) {}

    std::size_t Find(std::string_view text, std::size_t from) const {
        if (m_what.empty() || from > text.size()) return kNpos;
        if (!m_ignoreCase) return text.find(m_what, from);
        const auto it =
            std::search(text.begin() + static_cast<std::ptrdiff_t>(from), text.end(), m_searcher);
        return it == text.end() ? kNpos : static_cast<std::size_t>(it - text.begin());
    }

private:
    std::string_view m_what;
    bool m_ignoreCase;
    std::boyer_moore_horspool_searcher<std::string_view::const_iterator, LowerHash, LowerEqual>
        m_searcher;
};

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
    for (std::size_t p = text.find(from); p != kNpos; p = text.find(from, p + to.size())) {
        text.replace(p, from.size(), to);
    }
}

}  // namespace

std::string TextReplacer::Unescape(std::string_view text) {
    std::string out(text);
    ReplaceAll(out, "\\n", "\n");
    ReplaceAll(out, "\\r", "\r");
    ReplaceAll(out, "\\t", "\t");
    ReplaceAll(out, "\\_", " ");
    ReplaceAll(out, "\\\\", "\\");
    return out;
}

bool TextReplacer::Load(const std::string& path) {
    m_path = path;
    m_count = 0;
    m_error = kReplaceOk;
    m_errorText.clear();
    std::optional<std::string> text = ReadFile(path);
    m_loaded = text.has_value();
    if (!m_loaded) {
        m_errorText = path + ": " + std::strerror(errno);
        m_text.clear();
        return false;
    }
    m_text = std::move(*text);
    m_text.reserve(m_text.size() + kSpare);
    return true;
}

void TextReplacer::SetText(std::string text, std::string path) {
    m_text = std::move(text);
    m_path = std::move(path);
    m_loaded = true;
    m_count = 0;
    m_error = kReplaceOk;
    m_errorText.clear();
}

std::uint64_t TextReplacer::Apply(const std::vector<ReplaceRule>& rules) {
    if (!m_loaded) {
        m_error = kReplaceNoText;
        return 0;
    }
    // A text that earlier rules emptied keeps their count: callers subtract counts.
    if (m_text.empty()) return m_count;
    for (const ReplaceRule& rule : rules)
        ApplyRule(rule);
    return m_count;
}

void TextReplacer::ApplyRule(const ReplaceRule& rule) {
    const std::string find = Unescape(rule.find);
    if (find.empty() || rule.action < kActionReplace || rule.action > kActionCutBetween) return;
    const std::string repl = Unescape(rule.replace);

    // The output is sized once for the worst case; a rule that could grow the text past the
    // limit is refused before any work.
    double size = static_cast<double>(m_text.size());
    if (rule.action == kActionReplace && repl.size() > find.size()) {
        size = size * static_cast<double>(repl.size()) / static_cast<double>(find.size());
        if (size >= kMaxText) {
            m_error = kReplaceTooLarge;
            return;
        }
    }
    std::string out;
    try {
        out.reserve(static_cast<std::size_t>(size) + kSpare);
    } catch (const std::bad_alloc&) {
        m_error = kReplaceNoMemory;
        return;
    }

    const std::string_view text = m_text;
    const Finder first(find, rule.ignoreCase != 0);
    const Finder second(repl, rule.ignoreCase != 0);
    std::size_t p = 0;
    bool any = false;
    while (p < text.size()) {
        const std::size_t match = first.Find(text, p);
        if (match == kNpos) break;
        if (rule.action == kActionReplace) {
            out.append(text.substr(p, match - p)).append(repl);
            p = match + find.size();
        } else if (rule.action == kActionCutFromBeginning) {
            p = match + find.size();
            out.assign(text.substr(p));
        } else if (rule.action == kActionCutToEnd) {
            out.assign(text.substr(0, match));
            p = match;
        } else {
            const std::size_t end = second.Find(text, match + find.size());
            if (end == kNpos) break;
            out.append(text.substr(p, match - p));
            p = end + repl.size();
        }
        ++m_count;
        any = true;
        if (!rule.multiple || rule.action == kActionCutToEnd) break;
    }
    if (!any) return;
    if (rule.action == kActionReplace || rule.action == kActionCutBetween) {
        out.append(text.substr(std::min(p, text.size())));
    }
    m_text = std::move(out);
}

bool TextReplacer::Save(bool backup) {
    m_errorText.clear();
    if (!m_loaded) {
        m_error = kReplaceNoText;
        return false;
    }
    if (m_count < 1) {
        m_error = kReplaceNothingDone;
        return false;
    }
    const FileStamp stamp = StampOf(m_path);
    // Without its backup the file is not touched: the user asked to be able to go back.
    if ((backup || backupAlways) &&
        !CopyFileSafely(m_path, m_path + ".bak", m_errorText, syncFolder)) {
        m_error = kReplaceCannotWrite;
        return false;
    }
    if (!WriteStamped(m_path, m_text, stamp, false, m_errorText, syncFolder)) {
        m_error = kReplaceCannotWrite;
        return false;
    }
    return true;
}

ReplaceOutcome LoadApplySave(const std::string& path, const std::vector<ReplaceRule>& rules,
                             bool backup, bool syncFolder) {
    ReplaceOutcome outcome;
    TextReplacer replacer;
    replacer.syncFolder = syncFolder;
    outcome.loaded = replacer.Load(path);
    if (outcome.loaded) {
        outcome.count = replacer.Apply(rules);
        outcome.saved = outcome.count > 0 && replacer.Save(backup);
    }
    outcome.error = replacer.ErrorCode();
    outcome.errorText = replacer.ErrorText();
    return outcome;
}

}  // namespace kov
