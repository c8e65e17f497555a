// The settings file (kov.ini) as anyone may have edited it. Whatever it holds, the settings
// read from it keep their limits well enough to be written, and written settings read back
// the same: saving, loading and saving again gives the same text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/settings/app_settings.h"
#include "core/settings/profile_store.h"
#include "fuzz_support.h"

namespace {

constexpr const char* kProgramFolder = "/opt/kov/";

std::string Saved(const kov::AppSettings& settings, kov::Prompter& prompter) {
    kov::ProfileStore store(&prompter);
    store.LoadText("");
    kov::fuzz::Check(kov::SaveSettings(store, settings), "the settings are saved");
    return store.Serialize();
}

kov::AppSettings Loaded(std::string_view text, kov::Prompter& prompter) {
    kov::ProfileStore store(&prompter);
    store.LoadText(text);
    kov::AppSettings settings;
    kov::LoadSettings(store, settings, kProgramFolder);
    return settings;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    kov::fuzz::SilentPrompter prompter;
    const kov::AppSettings settings = Loaded(kov::fuzz::AsText(data, size), prompter);
    const std::string once = Saved(settings, prompter);
    const std::string again = Saved(Loaded(once, prompter), prompter);
    kov::fuzz::CheckSame(once, again, "saved settings read back the same");
    return 0;
}
