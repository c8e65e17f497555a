// Search-and-replace rules over a text, both from the input: up to four rule lines
// ("<flags>find<TAB>replace", flags: action in the low two bits, 4 ignore case, 8 every
// match), then the text. Each rule's result must equal that of a plain search done the slow
// way, and the match count must add up.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "content/rules/text_replacer.h"
#include "core/text/text_util.h"
#include "fuzz_support.h"

namespace {

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        c = kov::ToLowerAscii(c);
    return out;
}

// One rule applied by plain std::string searches on lower-cased copies when case is ignored.
std::string Expected(const std::string& text, const kov::ReplaceRule& rule, std::uint64_t& count) {
    const std::string find = kov::TextReplacer::Unescape(rule.find);
    const std::string repl = kov::TextReplacer::Unescape(rule.replace);
    if (find.empty()) return text;
    const bool fold = rule.ignoreCase != 0;
    const std::string hay = fold ? Lower(text) : text;
    const std::string needle = fold ? Lower(find) : find;
    const std::string end = fold ? Lower(repl) : repl;
    std::string out;
    std::size_t p = 0;
    bool any = false;
    while (p < text.size()) {
        const std::size_t m = hay.find(needle, p);
        if (m == std::string::npos) break;
        if (rule.action == kov::kActionReplace) {
            out += text.substr(p, m - p) + repl;
            p = m + find.size();
        } else if (rule.action == kov::kActionCutFromBeginning) {
            p = m + find.size();
            out = text.substr(p);
        } else if (rule.action == kov::kActionCutToEnd) {
            out = text.substr(0, m);
        } else {
            const std::size_t e = hay.find(end, m + find.size());
            if (end.empty() || e == std::string::npos) break;
            out += text.substr(p, m - p);
            p = e + repl.size();
        }
        ++count;
        any = true;
        if (!rule.multiple || rule.action == kov::kActionCutToEnd) break;
    }
    if (!any) return text;
    if (rule.action == kov::kActionReplace || rule.action == kov::kActionCutBetween)
        out += text.substr(std::min(p, text.size()));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string_view rest = kov::fuzz::AsText(data, size);
    std::vector<kov::ReplaceRule> rules;
    while (rules.size() < 4 && !rest.empty() && rest.front() != '\n') {
        auto [line, after] = kov::fuzz::SplitFirstLine(rest);
        rest = after;
        kov::ReplaceRule rule;
        const unsigned flags = static_cast<unsigned char>(line.front());
        line.remove_prefix(1);
        rule.action = static_cast<std::int32_t>(flags & 3);
        rule.ignoreCase = (flags & 4) != 0;
        rule.multiple = (flags & 8) != 0;
        const std::size_t tab = line.find('\t');
        rule.find = std::string(line.substr(0, tab));
        if (tab != std::string_view::npos) rule.replace = std::string(line.substr(tab + 1));
        rules.push_back(std::move(rule));
    }
    if (!rest.empty() && rest.front() == '\n') rest.remove_prefix(1);

    std::string expected(rest);
    std::uint64_t count = 0;
    kov::TextReplacer replacer;
    replacer.SetText(expected);
    for (const kov::ReplaceRule& rule : rules) {
        expected = Expected(expected, rule, count);
        kov::fuzz::Check(replacer.Apply({rule}) == count, "the matches are counted");
        kov::fuzz::Check(replacer.Text() == expected, "a rule does what a plain search does");
    }
    return 0;
}
