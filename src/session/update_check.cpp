#include "session/update_check.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <thread>

#include "core/language/message_table.h"
#include "core/main_loop.h"
#include "core/prompter.h"
#include "core/text/text_util.h"
#include "kov_version.h"
#include "model/list_document.h"
#include "model/url_item.h"
#include "model/url_parts.h"
#include "model/url_template.h"
#include "net/http/inet.h"
#include "net/transfer/proxy_settings.h"
#include "platform/clock.h"
#include "session/event_log.h"
#include "session/session_state.h"

namespace kov {

namespace {

constexpr const char* kUpdateItemId = "{UPDATE_PROGRAM}";
constexpr std::time_t kDay = 86400;

bool IsControl(unsigned char c) {
    return (c < 0x20 && c != '\t') || c == 0x7f;
}

// An installer address the list may take: a plain file on an http, https or ftp server.
bool InstallerUrlFits(const std::string& url, bool httpsOnly, std::string& why) {
    why = "the URL " + url.substr(0, ProgramInfo::kUrlCapacity) + " is refused: ";
    if (url.empty() || url.size() > ProgramInfo::kUrlCapacity) {
        why += "empty or too long";
        return false;
    }
    for (const char ch : url) {
        const auto c = static_cast<unsigned char>(ch);
        // Blanks, quotes, macros, template signs and backslashes have no place in a plain
        // address; '%' is checked as escapes below.
        if (c <= 0x20 || c >= 0x7f ||
            std::string_view("\"<>\\^`{|}[]?#").find(ch) != std::string_view::npos) {
            why += "it holds characters an installer address does not need";
            return false;
        }
    }
    UrlParts parts;
    if (!SplitUrl(url, parts, false) || parts.host.empty()) {
        why += "not a URL";
        return false;
    }
    const std::string scheme = ToLowerAscii(parts.scheme);
    if (httpsOnly ? scheme != "https" : scheme != "http" && scheme != "ftp") {
        why += httpsOnly ? "only https is accepted (EnableHttps)" : "not http or ftp";
        return false;
    }
    // Every path segment, decoded, is a plain name: nothing can point outside the folder.
    const std::string& path = parts.object;
    std::size_t start = path.find('/');
    if (start != 0) {
        why += "no path";
        return false;
    }
    std::string last;
    while (start != std::string::npos) {
        const std::size_t end = path.find('/', start + 1);
        const std::string raw =
            path.substr(start + 1, end == std::string::npos ? std::string::npos : end - start - 1);
        last = DecodeEscapes(raw);
        if (last == "." || last == ".." || last.find_first_of("/\\%:") != std::string::npos ||
            std::any_of(last.begin(), last.end(),
                        [](char c) { return IsControl(static_cast<unsigned char>(c)); })) {
            why += "its path leaves the download folder";
            return false;
        }
        start = end;
    }
    if (last.empty()) {
        why += "it names no file";
        return false;
    }
    why.clear();
    return true;
}

bool ParseBuild(std::string_view text, std::uint32_t& build) {
    if (text.empty() || text.size() > 10) return false;
    std::uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') return false;
        value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > UINT32_MAX) return false;
    build = static_cast<std::uint32_t>(value);
    return true;
}

bool PlainVersion(std::string_view text) {
    if (text.size() > ProgramInfo::kVersionCapacity) return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
               c == '.' || c == '-' || c == '_' || c == ' ';
    });
}

}  // namespace

int ParseProgramInfo(std::string_view text, bool httpsOnly, ProgramInfo& out, std::string& why) {
    // Nothing of a file that is refused is kept.
    out = ProgramInfo{};
    ProgramInfo info;
    why.clear();
    if (text.size() > kMaxInfoSize) {
        why = "the program information is larger than " + std::to_string(kMaxInfoSize) + " bytes";
        return kInfoUnusable;
    }
    std::optional<std::string> build, version, url;
    bool own = false, seen = false;
    std::size_t number = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) end = text.size();
        std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;
        ++number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto bad = [&](const std::string& what) {
            why = "line " + std::to_string(number) + " of the program information " + what;
            return kInfoUnusable;
        };
        if (std::any_of(line.begin(), line.end(),
                        [](char c) { return IsControl(static_cast<unsigned char>(c)); })) {
            return bad("holds control characters");
        }
        line = TrimBlanks(line);
        if (line.empty() || line[0] == ';' || line[0] == '#') continue;
        if (line[0] == '[') {
            if (line.back() != ']') return bad("is not a section name");
            own = IEquals(TrimBlanks(line.substr(1, line.size() - 2)), info.section);
            if (own && seen) return bad("repeats the section [" + info.section + "]");
            seen = seen || own;
            continue;
        }
        const std::size_t eq = line.find('=');
        if (eq == std::string_view::npos || TrimBlanks(line.substr(0, eq)).empty())
            return bad("is not key=value");
        if (!own) continue;
        const std::string_view key = TrimBlanks(line.substr(0, eq));
        const std::string value(TrimBlanks(line.substr(eq + 1)));
        std::optional<std::string>* slot = IEquals(key, "Build")     ? &build
                                           : IEquals(key, "Version") ? &version
                                           : IEquals(key, "URL")     ? &url
                                                                     : nullptr;
        if (slot == nullptr) continue;
        if (*slot) return bad("repeats the key " + std::string(key));
        *slot = value;
    }
    if (!build) {
        why = "the program information has no Build for " + info.section;
        return kInfoUnusable;
    }
    if (!ParseBuild(*build, info.Build)) {
        why = "the Build of the program information is not a number";
        return kInfoUnusable;
    }
    if (version && !PlainVersion(*version)) {
        why = "the Version of the program information is not a plain version text";
        return kInfoUnusable;
    }
    info.Version = version.value_or("");
    if (!url) {
        why = "the program information has no URL for " + info.section;
        return kInfoUnusable;
    }
    if (!InstallerUrlFits(*url, httpsOnly, why)) return kInfoUnusable;
    info.URL = *url;
    out = std::move(info);
    return kInfoOk;
}

namespace {

// Raises its flag when the time is up or the caller's stop comes, so that a server that
// trickles its headers cannot hold the fetch beyond its limit.
class FetchDeadline {
public:
    FetchDeadline(std::chrono::milliseconds limit, const std::atomic<int>* stop)
        : m_thread([this, limit, stop] {
              const auto end = std::chrono::steady_clock::now() + limit;
              std::unique_lock<std::mutex> lock(m_mutex);
              while (!m_done) {
                  if (std::chrono::steady_clock::now() >= end) {
                      m_expired = true;
                      m_flag = 2;
                      return;
                  }
                  if (stop != nullptr && *stop >= 2) {
                      m_flag = 2;
                      return;
                  }
                  m_wake.wait_for(lock, std::chrono::milliseconds(100));
              }
          }) {}
    ~FetchDeadline() {
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_done = true;
        }
        m_wake.notify_one();
        m_thread.join();
    }
    const std::atomic<int>* Flag() const { return &m_flag; }
    bool Expired() const { return m_expired; }

private:
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_done = false;
    std::atomic<bool> m_expired{false};
    std::atomic<int> m_flag{0};
    std::thread m_thread;  // last: it uses the members above
};

}  // namespace

int FetchProgramInfo(const AppSettings& settings, ProgramInfo& info, std::string& why,
                     const std::atomic<int>* stop, std::chrono::milliseconds limit) {
    info = ProgramInfo{};
    const std::string url(TrimBlanks(settings.UpdateUrl));
    UrlParts parts;
    const std::string scheme = SplitUrl(url, parts, false) ? ToLowerAscii(parts.scheme) : "";
    if (scheme != "http" && scheme != "https") {
        why = "UpdateUrl is not an http or https address";
        return kInfoDownloadFailed;
    }
    if (scheme == "https" && !settings.EnableHttps) {
        why = "https is switched off (EnableHttps)";
        return kInfoDownloadFailed;
    }
    // Before the session, which refers to its flag to the end.
    FetchDeadline deadline(limit, stop);
    const AccessChoice access = ChooseProberAccess(settings);
    const InetTimeouts timeouts{std::chrono::seconds(30), std::chrono::seconds(30)};
    auto session =
        InternetSession::Create(UserAgent(settings), access.access, access.proxyName, timeouts);
    if (!session) {
        why = "no Internet session (check the proxy settings)";
        return kInfoDownloadFailed;
    }
    if (!access.proxyUser.empty() || !access.proxyPassword.empty())
        session->SetProxyCredentials(access.proxyUser, access.proxyPassword);
    session->SetStopFlag(deadline.Flag());
    const char* late = "the program information did not arrive in time";
    int error = 0;
    std::string errorText;
    // An https address may not be redirected to plain http, where the file could be changed
    // on its way.
    const unsigned flags = kRequestNoCache | (scheme == "https" ? kRequestHttpsRedirectsOnly : 0u);
    auto stream = session->OpenUrl(url, flags, &error, &errorText);
    if (!stream) {
        why = deadline.Expired() ? late : errorText;
        return kInfoDownloadFailed;
    }
    std::string body;
    char buffer[8192];
    for (;;) {
        const long n = stream->Read(buffer, sizeof buffer);
        if (n < 0 || deadline.Expired()) {
            why = deadline.Expired() ? late : stream->ErrorText();
            return kInfoDownloadFailed;
        }
        if (n == 0) break;
        body.append(buffer, static_cast<std::size_t>(n));
        if (body.size() > kMaxInfoSize) {
            why =
                "the program information is larger than " + std::to_string(kMaxInfoSize) + " bytes";
            return kInfoUnusable;
        }
        if (*deadline.Flag() >= 2) {
            why = late;
            return kInfoDownloadFailed;
        }
    }
    return ParseProgramInfo(body, settings.EnableHttps != 0, info, why);
}

std::uint32_t OwnBuild() {
    return KOV_VERSION_BUILD;
}

UpdateCheck::UpdateCheck(AppSettings& settings, ListDocument& document, EventLog& log,
                         Prompter& prompter, MainLoop& loop, Environment environment)
    : m_settings(settings),
      m_document(document),
      m_log(log),
      m_prompter(prompter),
      m_loop(loop),
      m_env(std::move(environment)) {}

UpdateCheck::~UpdateCheck() {
    *m_alive = false;
    m_stop = 2;
    if (m_thread.joinable()) m_thread.join();
}

std::time_t UpdateCheck::Now() const {
    return m_env.now ? m_env.now() : SystemClock().Now();
}

UpdateResult UpdateCheck::CheckNow() {
    if (TrimBlanks(m_settings.UpdateUrl).empty()) {
        return {UpdateOutcome::NotConfigured, GetString(EventCode::UpdateNotConfigured)};
    }
    ProgramInfo info;
    std::string why;
    const int result = FetchProgramInfo(m_settings, info, why, &m_stop);
    return Apply(result, info, why);
}

void UpdateCheck::CheckForUpdate(bool interactive) {
    if (m_settings.LogDetail > 1) m_log.AddLine(GetString(EventCode::CheckingUpdate), 1, kLogInfo);
    if (TrimBlanks(m_settings.UpdateUrl).empty()) {
        Show({UpdateOutcome::NotConfigured, GetString(EventCode::UpdateNotConfigured)},
             interactive);
        return;
    }
    if (m_running) return;
    if (m_thread.joinable()) m_thread.join();
    m_running = true;
    // The fetch reads its own copy: the user may change the settings meanwhile.
    m_thread = std::thread([this, alive = m_alive, settings = m_settings, interactive] {
        auto info = std::make_shared<ProgramInfo>();
        auto why = std::make_shared<std::string>();
        const int result = FetchProgramInfo(settings, *info, *why, &m_stop);
        m_loop.Post([this, alive, result, info, why, interactive] {
            if (!*alive) return;
            m_running = false;
            Show(Apply(result, *info, *why), interactive);
        });
    });
}

UpdateResult UpdateCheck::Apply(int result, const ProgramInfo& info, const std::string& why) {
    UpdateResult r;
    if (result != kInfoOk) {
        r.outcome = UpdateOutcome::Failed;
        r.message = GetString(EventCode::UpdateAppError) + (why.empty() ? "" : " (" + why + ")");
        return r;
    }
    if (info.Build > 0 && info.Build > OwnBuild()) {
        UrlItem item = FreshItem();
        item.ID = kUpdateItemId;
        item.Name = GetString(EventCode::UpdateAppTitle);
        // Stored as a template: a '%' of the address must stay what it is.
        item.Url = EscapeTemplateText(info.URL);
        item.Dest = m_env.programFolder + "Update/";
        item.interval = -1;
        item.lastDL = DefaultLastDownload();
        const bool sessionRunning = m_env.sessionRunning && m_env.sessionRunning();
        ListModel& rows = m_document.Rows();
        if (!sessionRunning) {
            for (std::size_t i = 0; i < rows.Count(); ++i) {
                if (rows.At(i).item.Name == item.Name) {
                    rows.Remove({rows.At(i).id});
                    break;
                }
            }
        }
        m_document.AddItem(std::move(item));
        char line[512];
        std::snprintf(line, sizeof line, "%s V.%s Build %u :\n%s", info.section.c_str(),
                      info.Version.c_str(), static_cast<unsigned>(info.Build),
                      GetString(EventCode::UpdateAppReady).c_str());
        r.outcome = UpdateOutcome::Ready;
        r.message = line;
    } else {
        r.outcome = UpdateOutcome::NotNeeded;
        r.message = GetString(EventCode::UpdateAppNoNeed);
    }
    const std::time_t now = Now();
    std::tm utc{};
    gmtime_r(&now, &utc);
    m_settings.ChkUpdLastDate = {utc.tm_year + 1900, utc.tm_mon + 1, utc.tm_mday, utc.tm_hour,
                                 utc.tm_min,         utc.tm_sec,     utc.tm_wday};
    m_settings.changed = true;
    return r;
}

void UpdateCheck::Show(const UpdateResult& result, bool interactive) {
    if (interactive || result.outcome == UpdateOutcome::Ready) {
        m_prompter.Inform(result.message);
    } else {
        m_log.AddLine(result.message, 1, kLogInfo);
    }
}

void UpdateCheck::MonitorTick() {
    if (m_settings.ChkUpdInterval <= 0 || m_updateChecked >= 1) return;
    ++m_updateChecked;
    // No endpoint, no automatic check.
    if (TrimBlanks(m_settings.UpdateUrl).empty()) return;
    const std::time_t due = MakeUtcTime(m_settings.ChkUpdLastDate) +
                            static_cast<std::time_t>(m_settings.ChkUpdInterval) * kDay;
    if (Now() < due) return;
    if (m_env.lineUp && !m_env.lineUp()) return;
    CheckForUpdate(false);
}

}  // namespace kov
