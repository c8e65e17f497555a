#include "mail_control/portion_queries.h"

#include <algorithm>

#include "core/language/message_table.h"
#include "mail_control/query_message.h"

namespace kov {

std::vector<PortionTarget> AssignPortions(std::int32_t partCount, std::int32_t ownPart,
                                          std::size_t hostCount) {
    std::vector<PortionTarget> targets;
    const bool keepOwn = hostCount < static_cast<std::size_t>(std::max(partCount, 0));
    std::size_t next = 0;
    for (std::int32_t n = 1; n <= partCount; ++n) {
        PortionTarget target{n, std::nullopt, keepOwn && n == ownPart};
        if (!target.local && next < hostCount) target.host = next++;
        targets.push_back(target);
    }
    return targets;
}

PortionSendReport SendPortionQueries(const UrlItem& item, const std::vector<EmailHost>& hosts,
                                     const std::vector<std::size_t>& chosen,
                                     const QuerySender& send) {
    PortionSendReport report;
    report.targets = AssignPortions(item.DstDlPartCount, item.DstDlPartNo, chosen.size());
    report.allSent = true;
    for (const PortionTarget& target : report.targets) {
        report.sent.push_back(false);
        if (target.local) continue;
        std::string address = "(no host)";
        bool sent = false;
        if (target.host && chosen[*target.host] < hosts.size()) {
            const std::size_t index = chosen[*target.host];
            address = hosts[index].HostEmail;
            UrlItem copy = item;
            copy.DstDlPartNo = target.portion;
            sent = send(index, ItemQueryText(copy));
        }
        report.sent.back() = sent;
        report.allSent = report.allSent && sent;
        report.lines.push_back("[" + item.Name + "- portion " + std::to_string(target.portion) +
                               "] send to " + address + " result: " + (sent ? "OK" : "ERROR"));
    }
    report.summary =
        GetString(report.allSent ? EventCode::DDQueriesSent : EventCode::DDSendingErrors);
    return report;
}

bool OwnPortionMailed(const PortionSendReport& report, std::int32_t ownPart) {
    for (std::size_t i = 0; i < report.targets.size() && i < report.sent.size(); ++i) {
        if (report.targets[i].portion == ownPart) return report.sent[i];
    }
    return false;
}

}  // namespace kov
