#pragma once

#include <cstddef>
#include <functional>

namespace kov {

// Runs work(0) .. work(shares - 1) at once: share 0 on the caller's thread, the others on
// threads of their own (on the caller's, one after the other, when no more threads can be
// had). Returns when every share is done.
void RunShares(std::size_t shares, const std::function<void(std::size_t share)>& work);

}  // namespace kov
