#include "commands/handover_command.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "cli_messages.h"
#include "cli_options.h"
#include "core/command_line.h"
#include "core/text/terminal_text.h"
#include "interrupt_flag.h"
#include "platform/file_lock.h"
#include "session/application.h"
#include "web_control/remote_client.h"
#include "web_control/remote_token.h"

namespace kov::cli {

namespace {

using nlohmann::json;

// A folder given on the command line, made absolute: the running program has a current folder
// of its own.
std::string AbsoluteFolder(std::string path) {
    std::error_code error;
    if (!path.empty() && path.front() != '{' && path.front() != '/')
        path = std::filesystem::absolute(path, error).string();
    if (!path.empty() && path.back() != '/') path += '/';
    return path;
}

// The run's changes, sent one call after the other in the order a local run makes them.
class HandOver {
public:
    HandOver(const CliOptions& options, const RemoteClient& client, int list)
        : m_options(options), m_client(client), m_list(list) {}

    // The exit status; m_done holds what went through.
    int Run() {
        const ItemOptions& o = m_options.items;
        const bool numbered =
            !o.set.empty() || !o.remove.empty() || !o.enable.empty() || !o.disable.empty();
        if (numbered && !ReadIds()) return kExitUsage;
        if (!AddUrls() || !SetKeys() || !Switch(o.enable, true) || !Switch(o.disable, false) ||
            !RemoveItems() || !StartSession())
            return kExitUsage;
        return kExitOk;
    }

    const std::string& Done() const { return m_done; }
    // The first call found no server: nothing was sent.
    bool Unreached() const { return m_unreached; }
    const std::string& Problem() const { return m_problem; }

private:
    std::string ListQuery(char sep) const {
        return m_list > 0 ? sep + std::string("list=") + std::to_string(m_list) : "";
    }

    bool Fail(const std::string& what, const RemoteReply& reply) {
        m_unreached = !reply.Answered() && m_calls == 1;
        m_problem = what + reply.ErrorText();
        return false;
    }

    RemoteReply Call(const std::string& method, const std::string& path, const json& body = {}) {
        ++m_calls;
        return m_client.Call(method, path, body);
    }

    // The rows' ids by their numbers in the list, as --list shows them.
    bool ReadIds() {
        // Only the current list's items can be changed: the numbers are of the list made current.
        if (m_list > 0) {
            const RemoteReply made = Call("POST", "/api/v1/lists/current", json{{"list", m_list}});
            if (!made.Ok()) return Fail("", made);
        }
        const RemoteReply reply = Call("GET", "/api/v1/items" + ListQuery('?'));
        if (!reply.Ok()) return Fail("", reply);
        const json& items = reply.body.is_object() ? reply.body["items"] : reply.body;
        if (!items.is_array()) {
            m_problem = "the running program sent no list of items";
            return false;
        }
        m_ids.assign(items.size(), 0);
        for (const json& item : items) {
            const std::size_t index = item.value("index", std::size_t{0});
            if (index >= 1 && index <= m_ids.size()) m_ids[index - 1] = item.value("id", 0LL);
        }
        return true;
    }

    // Every number is checked before anything is sent, as a local run does.
    bool CheckNumbers(const std::vector<std::size_t>& numbers, const char* option) {
        for (const std::size_t n : numbers) {
            if (n >= 1 && n <= m_ids.size()) continue;
            m_problem = std::string(option) + ": " + NoSuchItem(static_cast<long>(n), m_ids.size());
            return false;
        }
        return true;
    }

    std::string ItemPath(std::size_t number) const {
        return "/api/v1/items/" + std::to_string(m_ids[number - 1]);
    }

    bool AddUrls() {
        if (m_options.add.empty()) return true;
        const ItemOptions& o = m_options.items;
        json body{{"urls", m_options.add}, {"template", o.addTemplate}};
        if (!o.addName.empty()) body["name"] = o.addName;
        if (!o.addDest.empty()) body["dest"] = AbsoluteFolder(o.addDest);
        if (m_list > 0) body["list"] = m_list;
        const RemoteReply reply = Call("POST", "/api/v1/items", body);
        if (!reply.Ok()) return Fail("--add: ", reply);
        for (const json& id : reply.body.value("ids", json::array())) {
            const RemoteReply item = Call("GET", "/api/v1/items/" + id.dump());
            const json& i = item.body;
            if (!item.Ok() || !i.is_object()) return Fail("--add: ", item);
            m_done += "added #" + std::to_string(i.value("index", 0)) + " " +
                      TerminalSafe(i.value("name", "")) + "\t" + TerminalSafe(i.value("url", "")) +
                      "\n";
        }
        return true;
    }

    bool SetKeys() {
        for (const ItemOptions::Assignments& a : m_options.items.set) {
            if (!CheckNumbers({a.item}, "--set")) return false;
            json body = json::object();
            for (const std::string& pair : a.pairs) {
                const std::size_t eq = pair.find('=');
                body[pair.substr(0, eq)] = eq == std::string::npos ? "" : pair.substr(eq + 1);
            }
            const RemoteReply reply = Call("PATCH", ItemPath(a.item), body);
            if (!reply.Ok()) return Fail("--set " + std::to_string(a.item) + ": ", reply);
            m_done += "changed #" + std::to_string(a.item) + "\n";
        }
        return true;
    }

    bool Switch(const std::vector<std::size_t>& numbers, bool enable) {
        const char* option = enable ? "--enable" : "--disable";
        if (!CheckNumbers(numbers, option)) return false;
        for (const std::size_t n : numbers) {
            const RemoteReply reply = Call("PATCH", ItemPath(n), json{{"enabled", enable}});
            if (!reply.Ok())
                return Fail(std::string(option) + " " + std::to_string(n) + ": ", reply);
            m_done += (enable ? "enabled #" : "disabled #") + std::to_string(n) + "\n";
        }
        return true;
    }

    bool RemoveItems() {
        const std::vector<std::size_t>& numbers = m_options.items.remove;
        if (!CheckNumbers(numbers, "--remove")) return false;
        std::vector<long long> ids;  // each row once, even when named twice
        for (const std::size_t n : numbers) {
            if (std::find(ids.begin(), ids.end(), m_ids[n - 1]) == ids.end())
                ids.push_back(m_ids[n - 1]);
        }
        for (const long long id : ids) {
            const RemoteReply reply = Call("DELETE", "/api/v1/items/" + std::to_string(id));
            if (!reply.Ok()) return Fail("--remove: ", reply);
        }
        if (!ids.empty())
            m_done += "removed " + std::to_string(ids.size()) +
                      (ids.size() == 1 ? " item\n" : " items\n");
        return true;
    }

    bool StartSession() {
        if (!ParseCommandLine(m_options.programArgs, false).autoMode) return true;
        const RemoteReply log = Call("GET", "/api/v1/log?after=0");
        if (log.Ok() && log.body.is_object()) m_log = log.body.value("next", std::uint64_t{0});
        const RemoteReply reply = Call("POST", "/api/v1/session/start", json::object());
        if (!reply.Ok()) return Fail("-a: ", reply);
        m_done += "started a download session\n";
        m_session = true;
        return true;
    }

public:
    // Whether -a started a session there, which FollowSession then watches.
    bool StartedSession() const { return m_session; }

    // Prints the session's log lines as they come until it ends; the exit status a local -a
    // gives (1 when an item failed, 130 after Ctrl+C, which stops the session there too).
    int FollowSession() {
        InterruptFlag interrupt;
        bool ended = false;
        auto onEvent = [&](const std::string& name, const std::string& data) {
            if (name == "log") PrintNewLog();
            const json value = json::parse(data, nullptr, false);
            ended = name == "session" && value.is_object() && value.value("state", "") == "ended";
            return !ended;
        };
        // The session may have ended before the stream was open: its state is asked now and
        // then, as the stream's only other way to end.
        auto next = std::chrono::steady_clock::now();
        auto stop = [&] {
            if (interrupt.Raised()) return true;
            if (std::chrono::steady_clock::now() < next) return false;
            next = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
            const RemoteReply status = m_client.Call("GET", "/api/v1/status");
            ended = status.Ok() && status.body.value("session", "") == "idle";
            return ended;
        };
        const RemoteReply reply = m_client.Follow("/api/v1/events", onEvent, stop);
        if (interrupt.Raised()) {
            m_client.Call("POST", "/api/v1/session/stop", json{{"now", false}});
            std::fprintf(stderr, "kov-cli: stopping the session there after the current files\n");
            return kExitInterrupted;
        }
        if (!ended) {
            std::fprintf(stderr, "kov-cli: the session runs on there; its events: %s\n",
                         TerminalSafe(reply.ErrorText()).c_str());
            return kExitItemFailed;
        }
        PrintNewLog();
        return AnyItemFailed() ? kExitItemFailed : kExitOk;
    }

private:
    // The log lines since the last look: read from /log rather than from the events, so that
    // none is lost between the start and the stream's opening.
    void PrintNewLog() {
        const RemoteReply reply =
            m_client.Call("GET", "/api/v1/log?after=" + std::to_string(m_log));
        if (!reply.Ok() || !reply.body.is_object()) return;
        for (const json& line : reply.body.value("lines", json::array())) {
            if (!line.is_object()) continue;
            if (!m_options.quiet) PrintLogLine(line);
            m_log = std::max(m_log, line.value("seq", m_log));
        }
    }

    bool AnyItemFailed() {
        const RemoteReply reply = m_client.Call("GET", "/api/v1/items" + ListQuery('?'));
        const json& items = reply.body.is_object() ? reply.body["items"] : reply.body;
        if (!reply.Ok() || !items.is_array()) return true;  // not known to have gone well
        return std::any_of(items.begin(), items.end(), [](const json& item) {
            return item.is_object() && item.value("state", "") == "error";
        });
    }

    static void PrintLogLine(const json& line) {
        const bool error = line.value("kind", "") == "error";
        std::fprintf(error ? stderr : stdout, "%s - %s\n",
                     TerminalSafe(line.value("time", "")).c_str(),
                     TerminalSafe(line.value("text", "")).c_str());
        std::fflush(error ? stderr : stdout);
    }

    const CliOptions& m_options;
    const RemoteClient& m_client;
    int m_list = 0;  // 0: the running program's current list
    std::vector<long long> m_ids;
    std::string m_done;
    std::string m_problem;
    int m_calls = 0;
    bool m_unreached = false;
    bool m_session = false;
    std::uint64_t m_log = 0;  // the last log line printed
};

}  // namespace

bool CanHandOver(const CliOptions& o) {
    const ItemOptions& i = o.items;
    const CommandLine line = ParseCommandLine(o.programArgs, false);
    const bool asks = !o.add.empty() || !i.set.empty() || !i.remove.empty() || !i.enable.empty() ||
                      !i.disable.empty() || line.autoMode;
    const bool others =
        !o.imports.empty() || o.init || o.serve || o.replaceItem != 0 || !o.restoreFolder.empty() ||
        o.checkUpdate || o.checkMail || o.distribute || !o.mergePath.empty() || o.trafficReset ||
        o.traffic || o.list || o.lists || o.queue || o.tasks || o.servers || o.testMail ||
        o.sendQuery != 0 || !i.show.empty() || !i.move.empty() || !i.newLists.empty() ||
        !i.removeLists.empty() || !i.useList.empty() || i.dryRun || line.shutdownAfter;
    return asks && !others;
}

std::optional<int> HandOverIfHeld(const CliOptions& options, const Application& app,
                                  std::string& hint) {
    if (!CanHandOver(options)) return std::nullopt;
    const std::string folder = app.Paths().programFolder;
    FileLock probe;
    if (probe.TryLock(folder + ".lock", "kov-cli")) return std::nullopt;  // free: done here
    if (!probe.Error().empty()) return std::nullopt;
    const RemoteSettings& remote = app.Settings().remote;
    if (remote.Enabled == 0) {
        hint = "turn on remote control ([Remote] Enabled=1) to hand changes to it";
        return std::nullopt;
    }
    RemoteToken token;
    if (!token.Load()) {
        hint = "remote control: " + token.Error();
        return std::nullopt;
    }
    const RemoteClient client(remote, token.Value());
    const int list = ParseCommandLine(options.programArgs, false).listNumber;
    HandOver handover(options, client, list);
    const int status = handover.Run();
    if (handover.Unreached()) {
        hint = "remote control did not answer at " + RemoteClient::BaseUrl(remote) + " (" +
               handover.Problem() + ")";
        return std::nullopt;
    }
    const std::string holder =
        probe.Holder().empty() ? "the running Kov program" : TerminalSafe(probe.Holder());
    if (!options.quiet && !handover.Done().empty())
        std::printf("handed over to %s:\n%s", holder.c_str(), handover.Done().c_str());
    if (status != kExitOk) {
        std::fprintf(
            stderr, "kov-cli: %s\n%s", TerminalSafe(handover.Problem()).c_str(),
            handover.Done().empty() ? "Nothing was changed.\n" : "The rest was not sent.\n");
        return status;
    }
    std::fflush(stdout);
    return handover.StartedSession() ? handover.FollowSession() : kExitOk;
}

}  // namespace kov::cli
