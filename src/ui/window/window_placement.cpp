#include "ui/window/window_placement.h"

#include <algorithm>

namespace kov {

namespace {
constexpr int kMinWidth = 480;
constexpr int kMinHeight = 240;
constexpr int kIconSize = 32;  // what must stay visible of the window
// A program folder that has never saved a size (the first start) opens the window large
// enough for its columns and panes, as far as the screen allows, not at the bare minimum.
constexpr int kFirstWidth = 1000;
constexpr int kFirstHeight = 680;
}  // namespace

QRect InitialWindowRect(const AppSettings& settings, const QRect& workArea) {
    const bool firstStart = settings.WndWidth == 0 && settings.WndHeight == 0;
    const int width = firstStart ? std::max(std::min(kFirstWidth, workArea.width()), kMinWidth)
                                 : std::max(settings.WndWidth, kMinWidth);
    const int height = firstStart ? std::max(std::min(kFirstHeight, workArea.height()), kMinHeight)
                                  : std::max(settings.WndHeight, kMinHeight);
    const int left = std::min(settings.WndLeft, workArea.width() - kIconSize);
    const int top = std::min(settings.WndTop, workArea.height() - kIconSize);
    // A negative place is kept within the screen's left and top edges as well.
    const int x = std::max(left, kIconSize - width);
    const int y = std::max(top, 0);
    return {workArea.left() + x, workArea.top() + y, width, height};
}

SplitSizes InitialSplitSizes(const AppSettings& settings, QSize client) {
    SplitSizes s;
    s.upper = std::clamp(settings.WndSplitRow, 0, std::max(client.height() - 10, 0));
    s.lower = std::max(client.height() - s.upper, 10);
    s.left = std::clamp(settings.WndSplitCol, 20, std::max(client.width(), 20));
    s.right = std::max(client.width() - s.left, 0);
    return s;
}

}  // namespace kov
