#include "model/url_item.h"

#include <cstdio>

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
