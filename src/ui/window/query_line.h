#pragma once

#include <functional>
#include <string>

namespace kov {

// How the window's mail commands (a query, the portions of a distributed download) reach the
// Internet and the program log: the dial-up line is asked for before anything is sent and let
// go afterwards, and what was sent is logged. Every member may be empty.
struct QueryLine {
    // Asks for the line; ready runs on the window's thread, true once it is up.
    std::function<void(std::function<void(bool ready)> ready)> request;
    std::function<void()> release;  // the sends are over
    std::function<void()> cancel;   // given up while the line was still being dialled
    std::function<void(const std::string& text, bool error)> log;
};

}  // namespace kov
