#include "core/text/display_format.h"

#include <cmath>
#include <cstdio>

#include "core/language/message_table.h"
#include "core/text/text_util.h"

namespace kov {

std::string SizeText(std::uint64_t bytes) {
    if (bytes > 512000) {
        return GroupDigits(static_cast<std::int64_t>(bytes >> 10)) + " Kb";
    }
    return GroupDigits(static_cast<std::int64_t>(bytes));
}

namespace {

std::string KilobyteSpeed(double bytesPerSecond) {
    char text[64];
    std::snprintf(text, sizeof text, "%.2f ", bytesPerSecond / 1024.0);
    return text + GetString(EventCode::SpeedKB);
}

}  // namespace

std::string SpeedText(std::uint64_t bytesPerSecond) {
    if (bytesPerSecond <= 4096) {
        return std::to_string(bytesPerSecond) + " " + GetString(EventCode::SpeedByte);
    }
    return KilobyteSpeed(static_cast<double>(bytesPerSecond));
}

std::string SpeedText(double bytesPerSecond) {
    if (!std::isfinite(bytesPerSecond) || bytesPerSecond < 0) bytesPerSecond = 0;
    if (bytesPerSecond <= 4096.0) {
        return std::to_string(static_cast<std::uint64_t>(bytesPerSecond)) + " " +
               GetString(EventCode::SpeedByte);
    }
    return KilobyteSpeed(bytesPerSecond);
}

}  // namespace kov
