#pragma once

#include <cstddef>
#include <string>

namespace kov {

// Searches for needle ignoring case across block boundaries: the tail of the previous block is
// kept so that a text split between two reads is still found.
class StubScanner {
public:
    explicit StubScanner(std::string needle) : m_needle(std::move(needle)) {}
    bool Found(const char* data, std::size_t n);

private:
    std::string m_needle;
    std::string m_window;
};

// Whether the file at path holds needle, ignoring case; false for an empty needle.
bool FileContains(const std::string& path, const std::string& needle);

}  // namespace kov
