#pragma once

#include "ui/preferences/preferences_page.h"

namespace kov {

// The pages of the preferences, each made over the working copy.
PreferencesPage* MakeInterfacePage(const PreferencesData& data, const PreferencesContext& context);
PreferencesPage* MakeSessionPage(const PreferencesData& data, const PreferencesContext& context);
PreferencesPage* MakeLogPage(const PreferencesData& data);
PreferencesPage* MakeInternetPage(const PreferencesData& data);
PreferencesPage* MakeRippingPage(const PreferencesData& data);
PreferencesPage* MakeSoundsPage(const PreferencesData& data);
PreferencesPage* MakeNewUrlPage(const PreferencesData& data);
PreferencesPage* MakeSchedulePage(const PreferencesData& data);
PreferencesPage* MakeEmailPage(const PreferencesData& data);
PreferencesPage* MakeBannerPage(const PreferencesData& data, const PreferencesContext& context);
PreferencesPage* MakeSitesPage(const PreferencesData& data, const PreferencesContext& context);

}  // namespace kov
