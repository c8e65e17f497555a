#include "core/text/unit_format.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <iterator>

namespace kov {

namespace {

constexpr const char* kUnits[] = {"KB", "MB", "GB", "TB", "PB", "EB"};

std::string WithUnit(double bytes) {
    if (!std::isfinite(bytes) || bytes < 0) bytes = 0;
    if (bytes < 1024) return std::to_string(static_cast<std::uint64_t>(bytes)) + " B";
    double value = bytes / 1024;
    std::size_t unit = 0;
    char text[32];
    for (;;) {
        // Three significant digits; a value that rounds up to 1024 moves on to the next unit.
        const int decimals = value < 9.995 ? 2 : value < 99.95 ? 1 : 0;
        std::snprintf(text, sizeof text, "%.*f", decimals, value);
        if (std::strtod(text, nullptr) < 1024 || unit + 1 == std::size(kUnits)) break;
        value /= 1024;
        ++unit;
    }
    return std::string(text) + " " + kUnits[unit];
}

}  // namespace

std::string SizeWithUnit(std::uint64_t bytes) {
    return WithUnit(static_cast<double>(bytes));
}

std::string SpeedWithUnit(double bytesPerSecond) {
    return WithUnit(bytesPerSecond) + "/s";
}

}  // namespace kov
