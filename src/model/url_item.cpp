#include "model/url_item.h"

#include <algorithm>
#include <cstdio>
#include <limits>

#include "platform/clock.h"

namespace kov {

std::time_t DefaultLastDownload() {
    CalendarTime c;
    c.year = 1990;
    return MakeTime(c);
}

UrlItem FreshItem() {
    UrlItem item;
    item.EnableReplace = 1;
    item.NestedDepth = 1;
    item.DstDlPartNo = 1;
    item.DstDlPartCount = 2;
    item.lastDL = DefaultLastDownload();
    return item;
}

void ClampItemRanges(UrlItem& item) {
    constexpr std::int32_t kMaxNumber = std::numeric_limits<std::int32_t>::max() - 1;
    item.CurrentNum = std::clamp(item.CurrentNum, 0, kMaxNumber);
    item.StopNumber = std::clamp(item.StopNumber, 0, kMaxNumber);
    // Read as unsigned, so a negative value is out of range too.
    if (static_cast<std::uint32_t>(item.Tolerance) > 1000) item.Tolerance = 0;
    item.days = std::clamp(item.days, 0, 365);
    item.dayShift = std::clamp(item.dayShift, -700, 700);
    item.interval = std::clamp(item.interval, -1, 365);
    item.nfsize = std::max(item.nfsize, 0);
    if (item.UpdateMode < kUpdateAuto || item.UpdateMode > kUpdateSkip)
        item.UpdateMode = kUpdateAuto;
    if (item.ConType < 0 || item.ConType > 7) item.ConType = 0;
    // A depth outside 0..32 is rejected, not clamped: 40 must not turn into the deepest rip.
    if (item.NestedDepth < 0 || item.NestedDepth > 32) item.NestedDepth = 1;
    for (ReplaceRule& rule : item.rules) {
        if (rule.action < 0 || rule.action > 3) rule.action = 0;
    }
    item.DstDlPartCount = std::clamp(item.DstDlPartCount, 2, kMaxParts);
    item.DstDlPartNo = std::clamp(item.DstDlPartNo, 1, item.DstDlPartCount);
    item.DstDlFileSize = std::clamp<std::int64_t>(item.DstDlFileSize, 0, kMaxPartBytes);
    item.DstDlPartSize = std::clamp<std::int64_t>(item.DstDlPartSize, 0, kMaxPartBytes);
}

namespace {

// The decimal digits at pos (no sign, no blanks); 0 when there are none. Stops growing past
// five digits, which is out of every range anyway.
int DigitsAt(std::string_view text, std::size_t pos) {
    int value = 0;
    for (std::size_t i = pos; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        if (value < 100000) value = value * 10 + (text[i] - '0');
    }
    return value;
}

}  // namespace

std::time_t ParseItemDate(std::string_view text, std::time_t now) {
    CalendarTime c;
    c.year = DigitsAt(text, 0);
    c.month = text.size() >= 7 ? DigitsAt(text, 5) : 1;
    c.day = text.size() >= 10 ? DigitsAt(text, 8) : 1;
    if (c.year < 1700 || c.year > 9999 || c.month < 1 || c.month > 12 || c.day < 1 || c.day > 31) {
        return now;
    }
    return MakeTime(c);
}

std::string FormatItemDate(std::time_t t) {
    const CalendarTime c = LocalTime(t);
    char text[32];
    std::snprintf(text, sizeof text, "%04d.%02d.%02d", c.year, c.month, c.day);
    return text;
}

void CopyPartFields(const UrlItem& from, UrlItem& to) {
    to.DstDlActive = from.DstDlActive;
    to.DstDlFileSize = from.DstDlFileSize;
    to.DstDlPartCount = from.DstDlPartCount;
    to.DstDlPartSize = from.DstDlPartSize;
    to.DstDlPartNo = from.DstDlPartNo;
}

}  // namespace kov
