#pragma once

#include <cstdint>
#include <string>

namespace kov {

// A byte count as the columns show it: above 512000 in kilobytes with " Kb", otherwise plain;
// digits grouped by three with ','.
std::string SizeText(std::uint64_t bytes);

// A speed in bytes per second: up to 4096 as whole bytes with the SpeedByte text, above that in
// kilobytes with two decimals and the SpeedKB text.
std::string SpeedText(std::uint64_t bytesPerSecond);
std::string SpeedText(double bytesPerSecond);

}  // namespace kov
