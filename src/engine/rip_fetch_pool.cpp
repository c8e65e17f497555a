#include "engine/rip_fetch_pool.h"

#include <chrono>
#include <system_error>

#include "core/event_codes.h"
#include "engine/download_job.h"
#include "net/http/inet.h"
#include "net/transfer/proxy_settings.h"
#include "platform/file_util.h"

namespace kov {

namespace {

// How often a wait looks at the job's stop request.
constexpr std::chrono::milliseconds kStopPoll{50};

}  // namespace

FetchedFile FetchedFile::Of(const std::string& path) {
    FetchedFile file;
    file.kept = ReadKeptValidators(path);
    file.served = LastWriteTime(path);
    file.size = FileSize(path);
    return file;
}

// What a fetch reported, kept until the job's thread posts it.
struct RipFetchPool::Relayed {
    int code = 0;
    std::int64_t param1 = 0, param2 = 0;
    std::string text1, text2;
    std::string errorText;  // the fetcher's transfer's, for the cause of a failure
};

struct RipFetchPool::Fetcher : TransferSink {
    explicit Fetcher(RipFetchPool& p) : pool(p) {}
    void Post(int code, std::int64_t param1, std::int64_t param2, const std::string& text1,
              const std::string& text2) override {
        pool.Relay(*this, code, param1, param2, text1, text2);
    }

    RipFetchPool& pool;
    std::unique_ptr<InternetSession> session;
    TransferJob transfer;
    std::atomic<int> stop{kStopNone};     // what the fetch watches
    std::optional<std::size_t> fetching;  // the record under way (locked)
};

RipFetchPool::RipFetchPool(DownloadJob& job, int fetchers, Fetch fetch)
    : m_job(job), m_fetch(std::move(fetch)) {
    const AppSettings& settings = job.Settings();
    const AccessChoice access = ChooseAccess(settings, job.IsLocal());
    for (int i = 0; i < fetchers; ++i) {
        auto fetcher = std::make_unique<Fetcher>(*this);
        fetcher->session =
            InternetSession::Create(UserAgent(settings), access.access, access.proxyName, {},
                                    job.Environment().connections);
        if (!fetcher->session) return;  // not Ready
        if (!settings.ProxyAddress.empty() &&
            (!settings.ProxyUser.empty() || !settings.ProxyPsw.empty()))
            fetcher->session->SetProxyCredentials(settings.ProxyUser, settings.ProxyPsw);
        // The job's transfer as it is set up (its stop request too), with this fetcher's
        // session, buffer and sink.
        fetcher->transfer = job.Transfer();
        fetcher->transfer.session = fetcher->session.get();
        fetcher->transfer.sink = fetcher.get();
        fetcher->transfer.stopRequest = &fetcher->stop;
        fetcher->transfer.buffer.assign(TransferJob::kBufferSize, 0);
        m_fetchers.push_back(std::move(fetcher));
    }
    try {
        for (auto& fetcher : m_fetchers)
            m_threads.emplace_back([this, f = fetcher.get()] { Work(*f); });
    } catch (const std::system_error&) {
        // No more threads to be had: those started end, and the pool is not Ready.
        EndThreads();
    }
}

void RipFetchPool::EndThreads() {
    {
        std::lock_guard lock(m_mutex);
        m_quit = true;
        m_queue.clear();
        // Whatever the job stops for, the record it would have gone on with was taken or never
        // will be: nothing under way goes on.
        PassOnStop(std::nullopt);
    }
    m_work.notify_all();
    for (std::thread& thread : m_threads)
        thread.join();
    m_threads.clear();
}

RipFetchPool::~RipFetchPool() {
    EndThreads();
    // Nothing a fetcher said is lost, even when the rip ended before it was taken.
    PostRelayed(std::move(m_relayed));
}

void RipFetchPool::Submit(RipFetch fetch) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(std::move(fetch));
    }
    m_work.notify_one();
}

void RipFetchPool::Drop() {
    std::lock_guard lock(m_mutex);
    m_queue.clear();
}

std::optional<RipFetch> RipFetchPool::Take(std::size_t index) {
    std::unique_lock lock(m_mutex);
    while (true) {
        if (!m_relayed.empty()) {
            std::vector<Relayed> relayed = std::move(m_relayed);
            m_relayed.clear();
            lock.unlock();
            PostRelayed(std::move(relayed));
            lock.lock();
            continue;
        }
        const int stop = m_job.stopRequest.load();
        if (stop >= kStopNow || m_lastTaken) break;
        const auto it = m_finished.find(index);
        if (it != m_finished.end()) {
            RipFetch fetch = std::move(it->second);
            m_finished.erase(it);
            m_lastTaken = stop != kStopNone;
            return fetch;
        }
        if (stop != kStopNone && !UnderWay(index)) break;
        PassOnStop(index);
        m_done.wait_for(lock, kStopPoll);
    }
    PassOnStop(std::nullopt);
    return std::nullopt;
}

bool RipFetchPool::UnderWay(std::size_t index) const {
    for (const auto& fetcher : m_fetchers) {
        if (fetcher->fetching == index) return true;
    }
    return false;
}

void RipFetchPool::PassOnStop(std::optional<std::size_t> current) {
    if (m_job.stopRequest.load() == kStopNone) return;
    for (const auto& fetcher : m_fetchers) {
        if (!current || fetcher->fetching != current || m_job.stopRequest.load() >= kStopNow)
            fetcher->stop.store(kStopNow);
    }
}

void RipFetchPool::Work(Fetcher& fetcher) {
    std::unique_lock lock(m_mutex);
    while (!m_quit) {
        // After a stop request no fetch begins.
        if (m_queue.empty() || m_job.stopRequest.load() != kStopNone) {
            m_work.wait_for(lock, kStopPoll);
            continue;
        }
        RipFetch fetch = std::move(m_queue.front());
        m_queue.pop_front();
        fetcher.fetching = fetch.index;
        lock.unlock();
        try {
            m_fetch(fetcher.transfer, fetch);
            fetch.bound = fetcher.transfer.boundHit;
        } catch (...) {
            // Out of memory, say: this record fails, as it would on the job's thread.
            fetch.result = kResultClientError;
        }
        lock.lock();
        fetcher.fetching.reset();
        m_finished.emplace(fetch.index, std::move(fetch));
        m_done.notify_all();
    }
}

void RipFetchPool::Relay(const Fetcher& fetcher, int code, std::int64_t param1, std::int64_t param2,
                         const std::string& text1, const std::string& text2) {
    {
        std::lock_guard lock(m_mutex);
        m_relayed.push_back({code, param1, param2, text1, text2, fetcher.transfer.errorText});
    }
    m_done.notify_all();
}

void RipFetchPool::PostRelayed(std::vector<Relayed> relayed) {
    // The job words a failure from its transfer's error text: that of the fetch, for the moment.
    TransferJob& own = m_job.Transfer();
    std::string errorText = std::move(own.errorText);
    for (const Relayed& r : relayed) {
        own.errorText = r.errorText;
        own.sink->Post(r.code, r.param1, r.param2, r.text1, r.text2);
    }
    own.errorText = std::move(errorText);
}

}  // namespace kov
