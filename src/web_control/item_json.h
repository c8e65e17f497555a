#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>

#include <nlohmann/json.hpp>

#include "model/list_model.h"

namespace kov {

// The last failure of a row: what failed and why ("" when the job did not know).
struct ItemFailure {
    std::string text;
    std::string cause;
};

// What the API tells of a row beyond its item (ItemWatch keeps it).
struct ItemFacts {
    std::string state;  // idle, queued, running, done, error
    std::uint64_t speed = 0;
    const ItemFailure* failure = nullptr;  // null: none
};

// An item as the API shows it, appended as JSON text to out: list and index count from 1;
// total is null when unknown.
void AppendItemJson(std::string& out, const Row& row, std::size_t list, std::size_t index,
                    const ItemFacts& facts);
// The same in two parts: the head names the row and its place, the tail holds the rest (from
// "name" to the closing brace). A tail does not change when rows move, so it can be kept.
void AppendItemHead(std::string& out, RowId id, std::size_t list, std::size_t index);
void AppendItemTail(std::string& out, const Row& row, const ItemFacts& facts);
// {"id","bytes","total","speed"} of a running row.
nlohmann::json ProgressJson(const Row& row, std::uint64_t speed);
// "YYYY-MM-DDTHH:MM:SS" in local time.
std::string LocalTimeText(std::time_t t);

}  // namespace kov
