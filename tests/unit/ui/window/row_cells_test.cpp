#include "ui/window/row_cells.h"

#include <gtest/gtest.h>

#include "core/text/display_format.h"

namespace kov {
namespace {

TEST(RowCellsTest, ByteCountsAndSpeedsGetUnitsAndMessagesStayAsTheyAre) {
    constexpr std::time_t kStart = 1000;
    struct Case {
        const char* what;
        std::uint64_t pos, size, jobBytes;
        RunState state;
        std::string status, speed;  // as the session wrote them
        const char* shownStatus;
        const char* shownSpeed;
    } cases[] = {
        {"size known", 600000, 1048576, 20480, RunState::Running,
         SizeText(600000) + " / " + SizeText(1048576), SpeedText(std::uint64_t{2048}),
         "586 KB / 1.00 MB", "2.00 KB/s"},
        {"size unknown", 5000, 0, 5000, RunState::Running, SizeText(5000), "", "4.88 KB", ""},
        // Counts that do not belong to the row's numbers are someone else's text.
        {"stale count", 7000, 0, 0, RunState::Running, SizeText(5000), "", "5,000", ""},
        {"message", 5000, 0, 0, RunState::None, "job aborted by user", "", "job aborted by user",
         ""},
        // A finished row keeps what the session left.
        {"finished", 10, 0, 10, RunState::None, SizeText(10), "7 Bytes/sec", "10 B", "7 Bytes/sec"},
    };
    for (const Case& c : cases) {
        Row row;
        row.filePos = c.pos;
        row.fileSize = c.size;
        row.jobBytes = c.jobBytes;
        row.jobStart = kStart;
        row.runState = c.state;
        row.columns[kColumnStatus] = c.status;
        row.columns[kColumnSpeed] = c.speed;
        row.columns[kColumnName] = "name";
        EXPECT_EQ(RowCell(row, kColumnStatus, kStart + 10).toStdString(), c.shownStatus) << c.what;
        EXPECT_EQ(RowCell(row, kColumnSpeed, kStart + 10).toStdString(), c.shownSpeed) << c.what;
        EXPECT_EQ(RowCell(row, kColumnName, kStart + 10), "name");
    }
}

}  // namespace
}  // namespace kov
