// What the remote-control server reads from strangers: a request's head through the guard, and
// the JSON body of POST /items or PATCH /items/ID through the API to the item checks. The input
// is a first byte of options (1 from another machine, 2 AllowCommands, 4 listening on every
// address, 8 https), then "METHOD PATH", header lines, a blank line and the body; "{token}"
// in a header stands for the real token. What must hold: nothing but a page file passes
// without the exact token; a refused change changes nothing; an item taken from another machine
// without AllowCommands runs no command, uploads nothing and lands in its list's folder.
#include <charconv>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "core/main_loop.h"
#include "core/text/text_util.h"
#include "engine/download_job.h"
#include "engine/worker_pool.h"
#include "fuzz_support.h"
#include "model/exchange_format.h"
#include "model/list_document.h"
#include "session/event_log.h"
#include "session/session_controller.h"
#include "web_control/event_hub.h"
#include "web_control/remote_api.h"
#include "web_control/remote_token.h"
#include "web_control/request_guard.h"

namespace {

constexpr std::string_view kToken =
    "00112233445566778899aabbccddeeff00112233445566778899aabbccddeeff";
constexpr int kPort = 6990;
constexpr std::size_t kMaxBody = 1 << 20;

// Runs what is posted at once, on the caller's thread: the API's calls then need no loop.
class InlineLoop : public kov::MainLoop {
public:
    void Post(std::function<void()> task) override { task(); }
    void StartTimer(int, std::chrono::milliseconds, std::function<void()>) override {}
    void StopTimer(int) override {}
    bool Alive() const override { return true; }
};

// One program for the whole run: a list "Main" with one item that PATCH requests change.
struct Program {
    Program() {
        const std::string home = kov::fuzz::ScratchSubfolder("home");
        settings.ProxyFromIE = 0;
        settings.lists.push_back({"Main", home + "Main.ini", home + "Download/"});
        document = std::make_unique<kov::ListDocument>(
            settings, kov::DocumentEnvironment{home, "/", 0xF0F, nullptr}, prompter);
        document->LoadCatalogue();
        log = std::make_unique<kov::EventLog>(settings, home + "kov.log");
        session = std::make_unique<kov::SessionController>(settings, *document, loop, pool, *log,
                                                           prompter,
                                                           std::make_shared<kov::JobEnvironment>());
        api = std::make_unique<kov::RemoteApi>(
            kov::RemoteTargets{settings, *document, *session, *log, loop}, hub);
        kov::fuzz::WriteWhole(home + "remote-token", std::string(kToken) + "\n");
        token = std::make_unique<kov::RemoteToken>(home + "remote-token");
        kov::fuzz::Check(token->Load(), "the token file is read");
        folder = document->DefaultFolder();
        if (folder.empty() || folder.back() != '/') folder += '/';
        kov::UrlItem item = kov::FreshItem();
        item.Url = "http://www.example.com/a.iso";
        item.Dest = folder;
        baseline = item;
        id = document->AddItem(item);
    }

    InlineLoop loop;
    kov::AppSettings settings;
    kov::fuzz::SilentPrompter prompter;
    kov::WorkerPool pool;
    kov::EventHub hub;
    std::unique_ptr<kov::ListDocument> document;
    std::unique_ptr<kov::EventLog> log;
    std::unique_ptr<kov::SessionController> session;
    std::unique_ptr<kov::RemoteApi> api;
    std::unique_ptr<kov::RemoteToken> token;
    std::string folder;  // the list's folder, with a trailing '/'
    kov::UrlItem baseline;
    kov::RowId id = 0;
};

Program& TheProgram() {
    static Program* program = new Program();  // never destroyed: the pool's thread stays
    return *program;
}

std::string Replaced(std::string_view text) {
    std::string out(text);
    for (std::size_t at = out.find("{token}"); at != std::string::npos; at = out.find("{token}"))
        out.replace(at, 7, kToken);
    return out;
}

// The head as the server hands it to the guard, and the body after the blank line.
kov::RequestHead ReadHead(std::string_view text, std::string_view& body) {
    kov::RequestHead head;
    auto [line, rest] = kov::fuzz::SplitFirstLine(text);
    const std::size_t blank = line.find(' ');
    head.method = std::string(line.substr(0, blank));
    if (blank != std::string_view::npos) head.path = std::string(line.substr(blank + 1));
    while (!rest.empty()) {
        std::tie(line, rest) = kov::fuzz::SplitFirstLine(rest);
        if (line.empty()) break;
        const std::size_t colon = line.find(':');
        std::string_view value = line.substr(colon == std::string_view::npos ? line.size() : colon);
        if (!value.empty()) value.remove_prefix(1);
        while (!value.empty() && value.front() == ' ')
            value.remove_prefix(1);
        const std::string_view name = line.substr(0, colon);
        if (kov::IEquals(name, "Host")) head.host = std::string(value);
        if (kov::IEquals(name, "Origin")) head.origin = std::string(value);
        if (kov::IEquals(name, "Authorization")) head.authorization = Replaced(value);
        std::uint64_t length = 0;
        const auto [end, error] =
            std::from_chars(value.data(), value.data() + value.size(), length);
        if (kov::IEquals(name, "Content-Length") && error == std::errc() && end != value.data())
            head.contentLength = length;
    }
    body = rest;
    return head;
}

// "Bearer", blanks, the token and nothing but blanks after it.
bool ShowsToken(const std::string& authorization) {
    const std::size_t at = authorization.find(kToken);
    if (at == std::string::npos || !kov::IEquals(authorization.substr(0, 6), "bearer"))
        return false;
    const std::string_view before = std::string_view(authorization).substr(6, at - 6);
    const std::string_view after = std::string_view(authorization).substr(at + kToken.size());
    return !before.empty() && before.find_first_not_of(' ') == std::string_view::npos &&
           after.find_first_not_of(' ') == std::string_view::npos;
}

void CheckGuard(const kov::RequestHead& head, unsigned options) {
    kov::RemoteSettings remote;
    if ((options & 4) != 0) remote.Address = "0.0.0.0";
    const kov::RequestGuard guard(remote, *TheProgram().token, kPort, kMaxBody);
    const kov::GuardVerdict verdict = guard.Check(head);
    if (verdict.status != 0) return;
    kov::fuzz::Check(head.host.has_value(), "a request that passes names its host");
    kov::fuzz::Check(!head.contentLength || *head.contentLength <= kMaxBody, "body size");
    if (head.origin)
        kov::fuzz::Check(kov::IEquals(*head.origin, "http://" + *head.host), "the server's origin");
    if (verdict.target == kov::RequestTarget::Page) {
        kov::fuzz::Check(head.method == "GET" || head.method == "HEAD", "a page is only read");
        return;
    }
    kov::fuzz::Check(head.authorization && ShowsToken(*head.authorization), "the exact token");
    // One wrong digit is as good as none.
    kov::RequestHead wrong = head;
    std::string& value = *wrong.authorization;
    const std::size_t digit = value.find(kToken) + options % kToken.size();
    value[digit] = value[digit] == 'f' ? '0' : 'f';
    kov::fuzz::Check(guard.Check(wrong).status == 401, "a wrong token is refused");
}

std::string Exchange(const kov::UrlItem& item) {
    std::ostringstream out;
    kov::fuzz::Check(kov::WriteBlock(out, {item}, kov::kExchangeModeFull), "exchange text");
    return out.str();
}

// dest names folder or a folder in it; {LISTFOLDER} (what a new item's folder defaults to) is
// the list's folder when the item is fetched.
bool InFolder(std::string dest, const std::string& folder) {
    constexpr std::string_view kListFolder = "{LISTFOLDER}";
    if (kov::IEquals(std::string_view(dest).substr(0, kListFolder.size()), kListFolder)) {
        dest.replace(0, kListFolder.size(), folder);
    }
    if (!dest.starts_with(folder) || kov::fuzz::HasControl(dest)) return false;
    const std::string rest = "/" + dest.substr(folder.size());
    return rest.find("/../") == std::string::npos && !rest.ends_with("/..");
}

// An item from another machine: no command, no upload, its list's folder, no local file.
void CheckConfined(const kov::UrlItem& item) {
    kov::fuzz::Check(item.Cmd.empty() && item.Upload == 0, "no command or upload from afar");
    kov::fuzz::Check(InFolder(item.Dest, TheProgram().folder), "a remote item stays in its folder");
    kov::fuzz::Check(!kov::IEquals(std::string_view(item.Url).substr(0, 7), "file://"),
                     "no local file from another machine");
}

void CheckAdd(const kov::ApiRequest& request, bool confined) {
    Program& program = TheProgram();
    kov::ListModel& rows = program.document->Rows();
    const std::size_t count = rows.Count();
    const kov::ApiResponse response = program.api->Handle(request);
    if (response.status != 201) {
        kov::fuzz::Check(rows.Count() == count, "a refused request adds nothing");
        return;
    }
    kov::fuzz::Check(rows.Count() > count, "an accepted request adds items");
    std::vector<kov::RowId> added;
    for (std::size_t i = count; i < rows.Count(); ++i) {
        if (confined) CheckConfined(rows.At(i).item);
        added.push_back(rows.At(i).id);
    }
    rows.Remove(added);
}

void CheckPatch(const kov::ApiRequest& request, bool confined) {
    Program& program = TheProgram();
    kov::Row* row = program.document->Rows().Find(program.id);
    kov::fuzz::Check(row != nullptr, "the item to change is there");
    row->item = program.baseline;
    const std::string before = Exchange(row->item);
    const kov::ApiResponse response = program.api->Handle(request);
    if (response.status != 200) {
        kov::fuzz::CheckSame(before, Exchange(row->item), "a refused change changes nothing");
        return;
    }
    if (!confined) return;
    CheckConfined(row->item);
    kov::fuzz::Check(row->item.UploadServer == program.baseline.UploadServer &&
                         row->item.UploadFolder == program.baseline.UploadFolder,
                     "no upload keys from afar");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const unsigned options = data[0];
    std::string_view body;
    const kov::RequestHead head = ReadHead(kov::fuzz::AsText(data + 1, size - 1), body);
    CheckGuard(head, options);

    Program& program = TheProgram();
    program.settings.remote.AllowCommands = (options & 2) != 0 ? 1 : 0;
    program.settings.EnableHttps = (options & 8) != 0 ? 1 : 0;
    kov::ApiRequest request{head.method, "", {}, std::string(body), (options & 1) == 0};
    const bool confined = !request.fromLoopback && program.settings.remote.AllowCommands == 0;
    // Only the item routes: the others start sessions or switch lists.
    if (head.method == "POST" && head.path == "/api/v1/items") {
        request.path = head.path;
        CheckAdd(request, confined);
    } else if (head.method == "PATCH" && head.path.starts_with("/api/v1/items/")) {
        request.path = "/api/v1/items/" + std::to_string(program.id);
        CheckPatch(request, confined);
    }
    return 0;
}
