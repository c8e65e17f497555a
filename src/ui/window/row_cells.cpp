#include "ui/window/row_cells.h"

#include "core/text/display_format.h"
#include "core/text/unit_format.h"

namespace kov {

namespace {

std::string CompactProgress(const Row& row) {
    std::string text = SizeText(row.filePos);
    if (row.fileSize != 0) text += " / " + SizeText(row.fileSize);
    return text;
}

std::string ProgressWithUnits(const Row& row) {
    std::string text = SizeWithUnit(row.filePos);
    if (row.fileSize != 0) text += " / " + SizeWithUnit(row.fileSize);
    return text;
}

}  // namespace

QString RowCell(const Row& row, int column, std::time_t now) {
    const std::string& text = row.columns[static_cast<std::size_t>(column)];
    // A status message (an error, "job aborted") is shown as it is; only the byte counts the
    // session wrote for these very numbers are shown again.
    if (column == kColumnStatus && !text.empty() && text == CompactProgress(row))
        return QString::fromStdString(ProgressWithUnits(row));
    // The session's speed is the job's bytes over its whole seconds so far.
    if (column == kColumnSpeed && !text.empty() && row.runState == RunState::Running &&
        row.jobStart > 0 && now > row.jobStart) {
        const auto seconds = static_cast<std::uint64_t>(now - row.jobStart);
        return QString::fromStdString(SpeedWithUnit(static_cast<double>(row.jobBytes / seconds)));
    }
    return QString::fromStdString(text);
}

}  // namespace kov
