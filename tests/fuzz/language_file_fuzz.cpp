// A language file as a translator (or anyone) may write it. Every text taken from it keeps the
// value capacity, a log text is never empty (a log line must not lose its words), and a text
// that the program follows with a value keeps the blank in front of it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/language/localiser.h"
#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kov::Localiser texts;
    texts.LoadText("Fuzzed", kov::fuzz::AsText(data, size));
    kov::fuzz::Check(texts.IsLoaded() && texts.LanguageName() == "Fuzzed", "the text is taken");

    constexpr std::size_t kCap = kov::Localiser::kValueCapacity;
    for (const kov::UiTextEntry& e : kov::GuiTextTable()) {
        // Only loaded texts are kept, never empty ones (the built-in text stands for them).
        const std::string text = texts.GetText(e.id, {});
        kov::fuzz::Check(text.size() <= kCap, "window texts");
    }
    for (const kov::UiTextEntry& e : kov::ToolTipTable())
        kov::fuzz::Check(texts.GetToolTip(e.id).size() <= kCap, "tooltips");
    const auto table = kov::MessageTable();
    for (std::size_t i = 0; i < table.size(); ++i) {
        const std::string text = texts.GetMessage(static_cast<int>(i));
        kov::fuzz::Check(!text.empty() && text.size() <= kCap + 1, "log texts");
        if (std::string_view(table[i].text).ends_with(' '))
            kov::fuzz::Check(text.ends_with(' '), "the blank before a value stays");
    }
    return 0;
}
