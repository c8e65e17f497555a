#pragma once

// The progress of a file fetched over several connections, kept beside it so that a stopped or
// killed download goes on where each range was.

#include <cstdint>
#include <optional>
#include <string>

#include "net/transfer/segment_plan.h"

namespace kov {

struct SegmentState {
    std::int64_t size = 0;
    // What the server's file was known by (an ETag or a Last-Modified date), sent as If-Range.
    std::string validator;
    SegmentPlan::Ranges missing;  // sorted, within size, not overlapping

    bool operator==(const SegmentState&) const = default;
};

// "<file>.kovseg".
std::string SegmentStatePath(const std::string& filePath);

// Written to a temporary file and renamed over the old state, so that a crash leaves either.
bool SaveSegmentState(const std::string& statePath, const SegmentState& state);
// nullopt when there is none or it is damaged or inconsistent.
std::optional<SegmentState> LoadSegmentState(const std::string& statePath);

// The text of the state, and the state of a text (nullopt when it is not one).
std::string FormatSegmentState(const SegmentState& state);
std::optional<SegmentState> ParseSegmentState(const std::string& text);

}  // namespace kov
