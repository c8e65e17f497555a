#pragma once

#include <QRect>
#include <QSize>

#include "core/settings/app_settings.h"

namespace kov {

// Where the window opens: the saved size, at least 480 x 240 (a size never saved: 1000 x 680
// as far as the work area allows), at the saved place measured from the work area's origin, but
// never so far right or down that less than an icon's size of it stays on the screen.
QRect InitialWindowRect(const AppSettings& settings, const QRect& workArea);

// The splitter sizes for a client area: the upper row WndSplitRow high (at most the client
// height, the lower row at least 10), the lists column WndSplitCol wide (at most the client
// width, at least 20).
struct SplitSizes {
    int upper = 0, lower = 0;
    int left = 0, right = 0;
};
SplitSizes InitialSplitSizes(const AppSettings& settings, QSize client);

}  // namespace kov
