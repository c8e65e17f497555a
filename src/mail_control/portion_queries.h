#pragma once

// Mailing the portions of a distributed download to other installations, one query each.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "core/settings/app_settings.h"
#include "model/url_item.h"

namespace kov {

// Where one portion goes: chosen[host] of the hosts the user picked, or nowhere.
struct PortionTarget {
    std::int32_t portion = 0;
    std::optional<std::size_t> host;  // position in the chosen hosts
    bool local = false;               // the item's own portion, fetched here
};

// With at least as many chosen hosts as portions every portion is mailed, portion n to the
// n-th host, the item's own one included. With fewer, the own portion stays here and the other
// portions go to the chosen hosts in order; when there are not enough hosts even for those,
// the last ones get no host (never one beyond the chosen). In portion order.
std::vector<PortionTarget> AssignPortions(std::int32_t partCount, std::int32_t ownPart,
                                          std::size_t hostCount);

// Sends one query text to host hostIndex of the host table; true when the server took it.
using QuerySender = std::function<bool(std::size_t hostIndex, const std::string& queryText)>;

struct PortionSendReport {
    std::vector<PortionTarget> targets;
    std::vector<bool> sent;  // per target: its query was taken by the server
    // Per portion: "[name- portion 2] send to b@example.org result: OK"; "ERROR" for a failed
    // send and for a portion left without a host.
    std::vector<std::string> lines;
    bool allSent = false;
    std::string summary;  // "All distributed-download queries sent" or the errors text
};

// Mails every portion that AssignPortions gives a host: the item with that portion number in
// the exchange format, to chosen[host] of hosts. Nothing is retried.
PortionSendReport SendPortionQueries(const UrlItem& item, const std::vector<EmailHost>& hosts,
                                     const std::vector<std::size_t>& chosen,
                                     const QuerySender& send);

// True when the item's own portion was mailed to another installation: the local item then
// has nothing left to fetch.
bool OwnPortionMailed(const PortionSendReport& report, std::int32_t ownPart);

}  // namespace kov
