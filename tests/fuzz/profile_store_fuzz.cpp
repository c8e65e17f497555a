// Feeds arbitrary bytes to the INI loader, then checks that writing the store out is stable:
// loading the written text and writing it again must give the same text.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "core/settings/profile_store.h"
#include "fuzz_support.h"

namespace {

// Names and values that a file can carry back unchanged: no line breaks, no NUL, no blanks
// at the ends and no characters that would turn a line into a header or a comment.
std::string Writable(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c == '\0' || c == '\r' || c == '\n' || c == '[' || c == ']' || c == '=' || c == ';' ||
            c == '#' || c == ' ' || c == '\t')
            c = '_';
    }
    return out.empty() ? std::string("x") : out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kov::fuzz::SilentPrompter prompter;
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    // The first line's text doubles as a section and key name, so lookups hit real entries.
    std::string_view first = text.substr(0, text.find('\n'));
    const std::size_t eq = first.find('=');
    const std::string_view name = first.substr(0, eq == std::string_view::npos ? first.size() : eq);

    kov::ProfileStore store(&prompter);
    store.LoadText(text);
    (void)store.GetString(name, name, "d");
    (void)store.GetString("S", name);
    (void)store.GetInt(name, "k", 5);
    (void)store.GetDateTime("S", name, 2000);
    (void)store.GetString(name, name, "", 7);
    // Writes use names the format can hold; the lookups above took the raw text.
    const std::string writable = Writable(name);
    store.WriteString(writable, "k", Writable(first));
    store.WriteString("S", writable, "v");
    store.WriteInt(writable, writable, 42);

    const std::string once = store.Serialize();
    kov::ProfileStore reloaded(&prompter);
    reloaded.LoadText(once);
    kov::fuzz::CheckSame(once, reloaded.Serialize(), "a written store reads back the same");
    return 0;
}
