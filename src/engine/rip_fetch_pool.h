#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "content/html/link_list.h"
#include "net/transfer/resource_info.h"
#include "net/transfer/transfer_job.h"

namespace kov {

class DownloadJob;
class InternetSession;

// One record of a rip fetched on a fetcher thread.
struct RipFetch {
    std::size_t index = 0;
    LinkRecord record;
    bool textOnly = false;
    // Filled in by the fetch.
    std::string path;
    ResourceInfo info;
    int result = 0;
    FetchBound bound = FetchBound::None;
};

// A few threads that fetch the records of one rip at once, each through its own session on the
// job's shared connections and its own copy of the job's transfer. The job's thread hands
// records out in order and takes the results back by index, so whatever order they finish in,
// it handles them in the order of the list. What the fetches report reaches the job's log on
// the job's thread while it waits. The fetches watch the job's stop request as its own do.
class RipFetchPool {
public:
    using Fetch = std::function<void(TransferJob& transfer, RipFetch& fetch)>;

    RipFetchPool(DownloadJob& job, int fetchers, Fetch fetch);
    // Drops what is still queued and waits for the fetches under way (a stop ends them).
    ~RipFetchPool();
    RipFetchPool(const RipFetchPool&) = delete;
    RipFetchPool& operator=(const RipFetchPool&) = delete;

    // False when a fetcher's session could not be made: nothing is fetched then.
    bool Ready() const { return !m_threads.empty(); }
    void Submit(RipFetch fetch);
    // The fetch of record index once it is done; nullopt when the job stops first.
    std::optional<RipFetch> Take(std::size_t index);
    // Drops the queued fetches; those under way end as they would on the job's transfer.
    void Drop();

private:
    struct Fetcher;
    struct Relayed;

    void Work(Fetcher& fetcher);
    // Drops the queue and waits for the fetches under way.
    void EndThreads();
    void Relay(const Fetcher& fetcher, int code, std::int64_t param1, std::int64_t param2,
               const std::string& text1, const std::string& text2);
    // Posts what the fetchers reported, as the job's own transfer would; called unlocked.
    void PostRelayed(std::vector<Relayed> relayed);

    DownloadJob& m_job;
    Fetch m_fetch;
    std::mutex m_mutex;
    std::condition_variable m_work;  // a fetch was queued, or the pool ends
    std::condition_variable m_done;  // a fetch ended, or a fetcher reported
    std::deque<RipFetch> m_queue;
    std::map<std::size_t, RipFetch> m_finished;
    std::vector<Relayed> m_relayed;
    bool m_quit = false;
    std::vector<std::unique_ptr<Fetcher>> m_fetchers;
    std::vector<std::thread> m_threads;
};

}  // namespace kov
