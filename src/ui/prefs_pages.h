#pragma once

#include "ui/prefs_page.h"

namespace kov {

// The pages of the preferences, each made over the working copy.
PrefsPage* MakeInterfacePage(const PrefsData& data, const PrefsContext& context);
PrefsPage* MakeSessionPage(const PrefsData& data, const PrefsContext& context);
PrefsPage* MakeLogPage(const PrefsData& data);
PrefsPage* MakeInternetPage(const PrefsData& data);
PrefsPage* MakeRippingPage(const PrefsData& data);
PrefsPage* MakeSoundsPage(const PrefsData& data);
PrefsPage* MakeNewUrlPage(const PrefsData& data);
PrefsPage* MakeSchedulePage(const PrefsData& data);
PrefsPage* MakeEmailPage(const PrefsData& data);
PrefsPage* MakeBannerPage(const PrefsData& data, const PrefsContext& context);
PrefsPage* MakeSitesPage(const PrefsData& data, const PrefsContext& context);

}  // namespace kov
