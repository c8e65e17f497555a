#include "web_control/remote_control.h"

#include "core/language/message_table.h"
#include "session/event_log.h"
#include "session/session_state.h"
#include "web_control/event_hub.h"
#include "web_control/listen_socket.h"
#include "web_control/remote_server.h"

namespace kov {

namespace {

bool SameSection(const RemoteSettings& a, const RemoteSettings& b) {
    return a.Enabled == b.Enabled && a.Address == b.Address && a.Port == b.Port &&
           a.AllowCommands == b.AllowCommands;
}

std::string UrlOf(const std::string& address, int port) {
    const bool v6 = address.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + address + "]" : address) + ":" + std::to_string(port) + "/";
}

}  // namespace

RemoteControl::RemoteControl(RemoteTargets targets, std::string pageFolder, std::string tokenPath)
    : m_targets(targets), m_pageFolder(std::move(pageFolder)), m_token(std::move(tokenPath)) {}

RemoteControl::~RemoteControl() {
    Stop();
}

bool RemoteControl::Start() {
    if (m_server) return true;
    const RemoteSettings& settings = m_targets.settings.remote;
    m_running = settings;
    if (!settings.Enabled) return true;
    if (!m_token.LoadOrMake()) return Fail(m_token.Error());
    m_hub = std::make_unique<EventHub>();
    m_api = std::make_unique<RemoteApi>(m_targets, *m_hub);
    m_server = std::make_unique<RemoteServer>(
        settings, m_token, [api = m_api.get()](const ApiRequest& r) { return api->Handle(r); },
        *m_hub, m_pageFolder);
    if (!m_server->Start()) {
        const std::string why = m_server->Error();
        Stop();
        return Fail(settings.Address + ":" + std::to_string(settings.Port) + ": " + why);
    }
    EventLog& log = m_targets.log;
    log.AddLine(GetString(EventCode::RemoteListening) + " " + UrlOf(settings.Address, Port()), 1,
                kLogInfo);
    if (settings.Address != "localhost" && !IsLoopbackAddress(settings.Address))
        log.AddLine(GetString(EventCode::RemoteOpenToNetwork), 1, kLogError);
    return true;
}

void RemoteControl::Stop() {
    if (m_api) m_api->Close();
    if (m_server) m_server->Stop();
    if (m_hub) m_hub->Close();
    const bool wasRunning = m_server != nullptr;
    m_server.reset();
    m_api.reset();
    m_hub.reset();
    if (wasRunning) m_targets.log.AddLine(GetString(EventCode::RemoteStopped), 1, kLogInfo);
}

bool RemoteControl::SettingsChanged() {
    // A token renewed in the preferences or by kov-cli counts as a change too.
    RemoteToken file(m_token.Path());
    const bool renewed = m_server && file.Load() && file.Value() != m_token.Value();
    if (!renewed && SameSection(m_running, m_targets.settings.remote)) return true;
    Stop();
    return Start();
}

int RemoteControl::Port() const {
    return m_server ? m_server->Port() : 0;
}

bool RemoteControl::Fail(const std::string& why) {
    m_targets.log.AddLine(GetString(EventCode::RemoteNotStarted) + " " + why, 1, kLogError);
    return false;
}

}  // namespace kov
