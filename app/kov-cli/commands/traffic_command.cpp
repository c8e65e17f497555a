#include "commands/traffic_command.h"

#include <cinttypes>

#include "cli_options.h"
#include "net/transfer/traffic_meter.h"
#include "session/application.h"

namespace kov::cli {

void PrintTraffic(Application& app, std::FILE* out) {
    const AppSettings& s = app.Settings();
    const std::uint64_t counted = app.LimitCounter();
    const std::uint64_t limit = ParseTrafficLimit(s.LimitSum);
    std::fprintf(out, "counted\t%" PRIu64 " bytes\n", counted);
    if (limit == 0) {
        std::fprintf(out, "limit\tnone\n");
    } else {
        std::fprintf(out, "limit\t%" PRIu64 " bytes%s\n", limit,
                     s.LimitTrace ? "" : " (LimitTrace is off: not applied)");
    }
    if (s.LimitTrace && limit != 0 && counted >= limit)
        std::fprintf(out, "reached: downloads stop until kov-cli --traffic-reset\n");
}

int ResetTraffic(Application& app, bool quiet) {
    const std::uint64_t before = app.LimitCounter();
    if (!app.ResetLimitCounter()) return kExitNotSaved;
    if (!quiet) std::printf("traffic counter reset (was %" PRIu64 " bytes)\n", before);
    return kExitOk;
}

}  // namespace kov::cli
