#pragma once

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <ctime>
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
#include "content/html/page_file.h"
#include "content/html/page_tags.h"
#include "net/http/kept_validators.h"
#include "net/transfer/resource_info.h"
#include "net/transfer/transfer_job.h"

namespace kov {

class DownloadJob;
class InternetSession;

// A fetched file as the fetch left it: what the job's thread asks of it, read on the fetcher's
// thread so that the job's, which takes the records one by one, need not ask the file system.
struct FetchedFile {
    std::optional<KeptValidators> kept;
    std::optional<std::time_t> served;  // its time, the server's
    std::optional<std::int64_t> size;
    static FetchedFile Of(const std::string& path);
};

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
    // An HTML page as it arrived, read on the fetcher's thread for the job's to parse, and the
    // tags the job's passes look for in it.
    std::optional<PageFile> page;
    PageTags tags;
    // The file, when the fetch made one and the fetcher looked at it.
    std::optional<FetchedFile> file;
};

// A few threads that fetch the records of one rip at once, each through its own session (with
// the job's DNS answers and TLS sessions) over a connection of its own, and its own copy of the
// job's transfer. The job's thread hands
// records out in order and takes the results back by index, so whatever order they finish in,
// it handles them in the order of the list. What the fetches report reaches the job's log on
// the job's thread while it waits. Each fetch watches a stop flag of its fetcher, which
// follows the job's stop request: a stop at once ends every fetch; a stop after the current
// file starts no new fetch, lets the one record the job's thread handles next finish (if it is
// under way) and ends the others, as the rip would end with one fetcher.
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
    // The fetch of record index once it is done; nullopt when the job stops first, or when it
    // stops after the current file and that file was another one or is not under way.
    std::optional<RipFetch> Take(std::size_t index);
    // Drops the queued fetches; those under way end as they would on the job's transfer.
    void Drop();

private:
    struct Fetcher;
    struct Relayed;

    void Work(Fetcher& fetcher);
    // Passes the job's stop request on to the fetchers (locked): with a stop after the current
    // file, the fetch of record current goes on and the others end.
    void PassOnStop(std::optional<std::size_t> current);
    bool UnderWay(std::size_t index) const;
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
    bool m_lastTaken = false;  // the file the job stopped after was taken
    std::vector<std::unique_ptr<Fetcher>> m_fetchers;
    std::vector<std::thread> m_threads;
};

}  // namespace kov
