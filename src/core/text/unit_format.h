#pragma once

#include <cstdint>
#include <string>

namespace kov {

// Sizes and speeds as the window shows them: binary units (1 KB = 1024 bytes) named after the
// number, about three significant digits ("812 B", "1.50 KB", "23.4 MB", "117 GB").
std::string SizeWithUnit(std::uint64_t bytes);
// The same with "/s"; a negative or not finite speed shows as 0.
std::string SpeedWithUnit(double bytesPerSecond);

}  // namespace kov
