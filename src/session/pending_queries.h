#pragma once

// The keys of a poll's queries between the save of their items and the save of the seen keys.
// A crash in between leaves this file behind, and the next start tells from the list whether
// the items were saved (then the keys count as seen, and the messages still in the mailbox are
// not taken twice) or not (then the messages are taken again, and nothing is lost).

#include <string>
#include <vector>

#include "mail_control/incoming_requests.h"
#include "model/list_model.h"

namespace kov {

inline constexpr const char* kPendingQueriesFile = "seen_queries.pending";

class PendingQueries {
public:
    explicit PendingQueries(std::string path) : m_path(std::move(path)) {}

    // Before the list is saved. False when the file cannot be written.
    bool Write(const IncomingQueries& queries) const;
    // After the seen keys were saved, or when the list was not.
    void Clear() const;
    // At start: the keys left by an interrupted poll whose items the list holds; none when
    // there is no file or the list does not hold them.
    std::vector<std::string> Recover(const ListModel& rows) const;

private:
    std::string m_path;
};

}  // namespace kov
