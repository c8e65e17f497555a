// What the event stream costs a session: a session of 1,000 small files from nginx on loopback,
// timed with no reader of /api/v1/events and with N readers (each gets every item, progress,
// log and session event), in alternating rounds. Prints each figure's median, the ratio (the
// target: at most 1.05) and the events a reader got per second of session. Twice: at full
// speed (far more than 1,000 events a second), then with nginx pacing the files so that the
// session makes about 1,000 events a second for a few seconds, the rate the stream is to keep
// up with.
//
// Usage: remote_events_bench [rounds of each kind (default 5)] [readers (default 4)]
//                            [paced rounds of each kind (default 2)]

#include <curl/curl.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "remote_bench_program.h"

namespace {

using namespace kov;

constexpr int kFiles = 1000;
// About 3.7 events per file (item changes, progress, log lines): 270 files a second.
constexpr int kPacedFiles = 270;

// One reader of the stream on a thread of its own, counting the events until it is stopped.
class StreamReader {
public:
    StreamReader(const std::string& url, const std::string& token)
        : m_bearer("Authorization: Bearer " + token) {
        m_thread = std::thread([this, url] { Read(url); });
    }
    ~StreamReader() {
        m_stop = true;
        m_thread.join();
    }
    long Events() const { return m_events; }

private:
    static std::size_t Take(char* data, std::size_t size, std::size_t n, void* self) {
        auto* reader = static_cast<StreamReader*>(self);
        const std::string_view text(data, size * n);
        // "event:" opens a line; a line may be cut between two calls, rarely: close enough.
        for (std::size_t at = text.find("event:"); at != std::string_view::npos;
             at = text.find("event:", at + 6))
            ++reader->m_events;
        return size * n;
    }
    static int Progress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
        return static_cast<StreamReader*>(self)->m_stop ? 1 : 0;
    }
    void Read(const std::string& url) {
        CURL* curl = curl_easy_init();
        curl_slist* headers = curl_slist_append(nullptr, m_bearer.c_str());
        curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &Take);
        curl_easy_setopt(curl, CURLOPT_WRITEDATA, this);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &Progress);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, this);
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_perform(curl);
        curl_slist_free_all(headers);
        curl_easy_cleanup(curl);
    }

    std::string m_bearer;
    std::atomic<bool> m_stop{false};
    std::atomic<long> m_events{0};
    std::thread m_thread;
};

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct Figures {
    double alone = 0, read = 0, rate = 0;
};

Figures Measure(int filesPerSecond, int rounds, int readers) {
    bench::RemoteBenchSetup setup(kFiles, kFiles, filesPerSecond);
    if (!setup.Ready()) std::exit(1);
    bench::RemoteBenchProgram& program = setup.Program();
    const std::string events = setup.Url("/api/v1/events");

    program.TimeOneSession();  // the files are made once, outside the figures
    std::vector<double> alone, read, rates;
    for (int r = 0; r < 2 * rounds; ++r) {
        // none, N, N, none, none, N, ...: neither kind always comes first
        const bool withReaders = (r % 4 == 1) || (r % 4 == 2);
        if (!withReaders) {
            alone.push_back(program.TimeOneSession());
            continue;
        }
        std::vector<std::unique_ptr<StreamReader>> streams;
        for (int k = 0; k < readers; ++k)
            streams.push_back(std::make_unique<StreamReader>(events, setup.Token()));
        std::this_thread::sleep_for(std::chrono::milliseconds(300));  // all subscribed
        const double seconds = program.TimeOneSession();
        read.push_back(seconds);
        rates.push_back(static_cast<double>(streams.front()->Events()) / seconds);
    }
    return {Median(alone), Median(read), Median(rates)};
}

void Print(const char* what, const Figures& f, int readers) {
    std::printf("%s\n", what);
    std::printf("  session without readers: median %.3f s\n", f.alone);
    std::printf("  session with %d readers:  median %.3f s\n", readers, f.read);
    std::printf("  ratio: %.3f (target <= 1.05)\n", f.read / f.alone);
    std::printf("  events per reader per second of session: median %.0f\n", f.rate);
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    const int readers = argc > 2 ? std::max(1, std::atoi(argv[2])) : 4;
    const int paced = argc > 3 ? std::max(0, std::atoi(argv[3])) : 2;
    std::printf("%d files of 4 KB a session, %d readers\n", kFiles, readers);
    Print(("full speed, " + std::to_string(rounds) + " rounds of each:").c_str(),
          Measure(0, rounds, readers), readers);
    if (paced > 0) {
        Print(("paced to " + std::to_string(kPacedFiles) + " files a second, " +
               std::to_string(paced) + " rounds of each:")
                  .c_str(),
              Measure(kPacedFiles, paced, readers), readers);
    }
    return 0;
}
