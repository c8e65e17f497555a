#pragma once

// A program for the remote API's benchmarks: settings, a list of many items (the first `files`
// enabled, each one of nginx's files), a session controller and remote control, all made and
// used on a main loop of its own thread, as in the programs. Sessions run on request: one at a
// time, timed on the loop, or one after the other for as long as asked. nginx may pace the
// files (so many a second, 0: as fast as they go), and with them the events a session makes.

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <memory>
#include <string>
#include <thread>

#include "core/event_loop.h"
#include "engine/worker_pool.h"
#include "model/list_document.h"
#include "net/http/inet.h"
#include "session/event_log.h"
#include "session/session_controller.h"
#include "support/nginx_server.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"
#include "web_control/remote_control.h"
#include "web_control/remote_token.h"

namespace kov::bench {

class RemoteBenchProgram {
public:
    RemoteBenchProgram(const std::string& home, const test::NginxServer& nginx, int items,
                       int files)
        : m_home(home) {
        std::promise<int> port;
        auto ready = port.get_future();
        m_thread =
            std::thread([this, &nginx, &port, items, files] { Run(nginx, items, files, port); });
        m_port = ready.get();
    }
    ~RemoteBenchProgram() {
        m_loop.Quit();
        m_thread.join();
    }
    int Port() const { return m_port; }
    // Sessions one after the other (started again whenever one ends), or none (stopped now).
    void KeepSessionRunning(bool on) {
        m_loop.Post([this, on] { m_keepRunning = on; });
    }
    long Sessions() const { return m_sessions; }
    // Runs one session and waits for its end; its seconds, from the start on the loop to the
    // loop seeing it idle again.
    double TimeOneSession() {
        std::promise<double> seconds;
        auto done = seconds.get_future();
        m_loop.Post([this, &seconds] {
            m_timed = &seconds;
            m_timedStart = std::chrono::steady_clock::now();
            m_startOne = true;
        });
        return done.get();
    }

private:
    static constexpr int kPollTimer = 5;
    static constexpr std::chrono::milliseconds kPoll{5};

    void Run(const test::NginxServer& nginx, int items, int files, std::promise<int>& port) {
        AppSettings settings;
        settings.ProxyFromIE = 0;
        settings.MaxThreads = 8;
        settings.WriteLog = 0;
        settings.remote.Enabled = 1;
        settings.remote.Port = 0;
        settings.lists.push_back({"Main", m_home + "Default.ini", m_home + "dl/"});
        test::RecordingPrompter prompter;
        ListDocument document(settings, DocumentEnvironment{m_home, "/", 0xF0F, nullptr}, prompter);
        document.LoadCatalogue();
        for (int i = 0; i < items; ++i) {
            UrlItem item = FreshItem();
            item.Name = "item " + std::to_string(i);
            item.Url = nginx.Url("/f/" + std::to_string(i % files));
            item.Dest = m_home + "dl/" + std::to_string(i) + "/";
            item.Disabled = i < files ? 0 : 1;
            document.Rows().Append(item);
        }
        EventLog log(settings, "");
        WorkerPool pool;
        pool.LowerWorkerPriority(m_workerNiceSteps);  // as `kov-cli --serve` and the window do
        SessionController session(settings, document, m_loop, pool, log, prompter, nullptr);
        RemoteControl remote({settings, document, session, log, m_loop}, "", m_home + "token");
        remote.Start();
        port.set_value(remote.Port());
        m_loop.StartTimer(kPollTimer, kPoll, [&] { Poll(session); });
        m_loop.Run();
        remote.Stop();
        session.StopRunningThreads(false, {}, kStopNow);
        pool.WaitIdle();
    }

    void Poll(SessionController& session) {
        const bool idle = session.State() == SessionState::Idle;
        if (m_startOne || (m_keepRunning && idle)) {
            if (!idle) return;
            m_startOne = false;
            m_running = true;
            ++m_sessions;
            session.StartRequest(false);
        } else if (!m_keepRunning && !m_timed && !idle) {
            session.OnStop(true);
        } else if (m_timed && m_running && idle) {
            m_running = false;
            const std::chrono::duration<double> took =
                std::chrono::steady_clock::now() - m_timedStart;
            std::exchange(m_timed, nullptr)->set_value(took.count());
        }
    }

    std::string m_home;
    // The workers' steps below the main loop and the server: 5 as in the programs, or
    // REMOTE_BENCH_WORKER_NICE to compare.
    const int m_workerNiceSteps = [] {
        const char* steps = std::getenv("REMOTE_BENCH_WORKER_NICE");
        return steps ? std::atoi(steps) : 5;
    }();
    EventLoop m_loop;
    std::thread m_thread;
    int m_port = 0;
    // The loop's thread:
    bool m_keepRunning = false;
    bool m_startOne = false;
    bool m_running = false;
    std::promise<double>* m_timed = nullptr;
    std::chrono::steady_clock::time_point m_timedStart{};
    std::atomic<long> m_sessions{0};
};

// nginx with `files` small files, a home, the program and its token: what each remote
// benchmark starts with.
class RemoteBenchSetup {
public:
    RemoteBenchSetup(int items, int files, int filesPerSecond = 0) {
        if (!test::NginxServer::Available()) {
            std::fprintf(stderr, "nginx is not installed\n");
            return;
        }
        InternetGlobalInit();
        for (int i = 0; i < files; ++i)
            m_nginx.WriteFile("f/" + std::to_string(i), std::string(4096, 'x'));
        if (filesPerSecond > 0) {
            // Requests over the rate wait their turn in nginx.
            m_nginx.AddHttpDirective("limit_req_zone $server_name zone=pace:1m rate=" +
                                     std::to_string(filesPerSecond) + "r/s;");
            m_nginx.AddLocation("location /f/ { limit_req zone=pace burst=64; }");
        }
        if (!m_nginx.Start()) return;
        m_program =
            std::make_unique<RemoteBenchProgram>(m_home.path() + "/", m_nginx, items, files);
        m_ready = m_token.Load();
    }
    bool Ready() const { return m_ready; }
    RemoteBenchProgram& Program() { return *m_program; }
    const std::string& Token() const { return m_token.Value(); }
    std::string Url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_program->Port()) + path;
    }

private:
    test::NginxServer m_nginx;
    test::TempDir m_home;
    std::unique_ptr<RemoteBenchProgram> m_program;
    RemoteToken m_token{m_home.path() + "/token"};
    bool m_ready = false;
};

}  // namespace kov::bench
