// Server mode over a mailbox of 1,000 queries of one item each (dovecot on a maildir): how
// many messages a poll accepts per second, and the peak memory of the process.
#include <sys/resource.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/prompter.h"
#include "mail_control/incoming_requests.h"
#include "mail_control/query_message.h"
#include "model/list_file.h"
#include "support/pop3_server.h"
#include "support/temp_dir.h"
#include "support/test_ca.h"

namespace {

// KOV_MAIL_QUERIES changes the mailbox's size.
const int kQueries =
    std::getenv("KOV_MAIL_QUERIES") ? std::atoi(std::getenv("KOV_MAIL_QUERIES")) : 1000;

void BM_PollMailbox(benchmark::State& state) {
    if (!kov::test::Pop3Server::Available()) {
        state.SkipWithError("dovecot-pop3d is not installed (or not root)");
        return;
    }
    kov::test::TestCa ca;
    kov::test::Pop3Server pop3;
    if (!ca.Make() || !pop3.Start(ca)) {
        state.SkipWithError("dovecot did not start");
        return;
    }
    kov::test::TempDir dir;
    kov::EmailSettings email;
    email.Pop3Server = "127.0.0.1:" + std::to_string(pop3.Port());
    email.MailBox = kov::test::Pop3Server::kUser;
    email.MailBoxPsw = kov::test::Pop3Server::kPassword;
    email.Passphrase = "pw";
    int serial = 0;
    std::size_t accepted = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (int i = 0; i < kQueries; ++i) {
            kov::UrlItem item = kov::FreshItem();
            // An address, not a name: the local-network test would ask the resolver per item.
            item.Url = "http://203.0.113.7/part" + std::to_string(i) + ".bin";
            item.Dest = "part" + std::to_string(i) + ".bin";
            pop3.AddMessage("From: a@kov.test\r\nSubject: #KOVQUERY:pw\r\nMessage-ID: <" +
                            std::to_string(++serial) + "@kov.test>\r\n\r\n\r\n" +
                            kov::ItemQueryText(item) + "\r\n");
        }
        state.ResumeTiming();
        kov::IncomingHooks hooks;
        // As the program does: the items go into the list file before the messages leave.
        hooks.save = [&](kov::IncomingQueries& queries) {
            std::vector<const kov::UrlItem*> items;
            for (const auto& item : queries.items)
                items.push_back(&item);
            accepted += items.size();
            return kov::WriteListFile(dir.File("list.ini"), items, kov::DefaultPrompter());
        };
        const int taken =
            kov::GetIncomingRequests(email, dir.File("q/"), hooks, std::time(nullptr));
        if (taken != kQueries) state.SkipWithError("not every query was taken");
    }
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    state.counters["messages_per_s"] =
        benchmark::Counter(static_cast<double>(accepted), benchmark::Counter::kIsRate);
    state.counters["peak_rss_MiB"] = static_cast<double>(usage.ru_maxrss) / 1024.0;
}
BENCHMARK(BM_PollMailbox)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

}  // namespace

BENCHMARK_MAIN();
