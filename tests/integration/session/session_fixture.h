#pragma once

// What the session tests start from: the main loop as the controller sees it, and a home
// folder with the list "Main", its document and the event log.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "core/event_loop.h"
#include "model/list_document.h"
#include "session/event_log.h"
#include "session/session_controller.h"
#include "support/recording_prompter.h"
#include "support/temp_dir.h"

namespace kov::test {

// The monitor tick can run a thousand times faster (the connect time-out counts monitor
// ticks), and the progress tick can be held back so that the average speed of a short session
// does not depend on how long the transfer took.
class TestLoop : public MainLoop {
public:
    void Post(std::function<void()> task) override { m_loop.Post(std::move(task)); }
    void StartTimer(int id, std::chrono::milliseconds period, std::function<void()> tick) override {
        if (id == SessionController::kProgressTimer && holdProgressTick) return;
        if (id == SessionController::kMonitorTimer && fastMonitor) {
            period = std::chrono::milliseconds(1);
        }
        m_loop.StartTimer(id, period, std::move(tick));
    }
    void StopTimer(int id) override { m_loop.StopTimer(id); }
    bool Alive() const override { return m_loop.Alive(); }

    // Runs until the condition holds; false when the limit passed first.
    bool RunUntil(const std::function<bool()>& done,
                  std::chrono::seconds limit = std::chrono::seconds(20)) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() >= end) return false;
            m_loop.RunFor(std::chrono::milliseconds(10));
        }
        return true;
    }
    void RunFor(std::chrono::milliseconds time) { m_loop.RunFor(time); }

    bool fastMonitor = false;
    bool holdProgressTick = false;

private:
    EventLoop m_loop;
};

class SessionHomeTest : public ::testing::Test {
protected:
    // Opens the document and the log with the settings as they are by then.
    void OpenHome() {
        settings.ProxyFromIE = 0;  // the environment's proxies must not touch loopback tests
        settings.lists.push_back({"Main", Home("Default.ini"), Home("Download/")});
        document = std::make_unique<ListDocument>(
            settings, DocumentEnvironment{dir.path() + "/", "/", 0xF0F, nullptr}, prompter);
        document->LoadCatalogue();
        log = std::make_unique<EventLog>(settings, Home("Kov.log"));
    }
    std::string Home(const std::string& name) const { return dir.path() + "/" + name; }

    TempDir dir;
    AppSettings settings;
    RecordingPrompter prompter;
    TestLoop loop;
    std::unique_ptr<ListDocument> document;
    std::unique_ptr<EventLog> log;
};

}  // namespace kov::test
