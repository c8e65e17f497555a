#pragma once

#include <memory>
#include <string>

#include "core/settings/app_settings.h"
#include "web_control/remote_api.h"
#include "web_control/remote_token.h"

namespace kov {

class EventHub;
class RemoteServer;

// Remote control for one program (kov-cli --serve or the window): the event hub, the API and
// the HTTP server, made when [Remote] Enabled=1 and gone before the session and the lists go.
// The token file is made at the first start. Main loop's thread only.
class RemoteControl {
public:
    // pageFolder: the web page's files ("" serves none); tokenPath: where the token is kept.
    RemoteControl(RemoteTargets targets, std::string pageFolder,
                  std::string tokenPath = RemoteToken::DefaultPath());
    ~RemoteControl();
    RemoteControl(const RemoteControl&) = delete;
    RemoteControl& operator=(const RemoteControl&) = delete;

    // Starts the server when the settings enable it, saying in the log where it listens (and
    // warning when that is not this machine only). False, logged, when it could not start;
    // true when it runs or is off.
    bool Start();
    // Ends the event streams, answers waiting requests with 503, waits for the server's threads
    // and saves what the API changed.
    void Stop();
    // The settings were changed (reloaded, accepted preferences): a changed [Remote] section
    // stops the server and starts it anew; an unchanged one leaves it be.
    bool SettingsChanged();

    bool Running() const { return m_server != nullptr; }
    int Port() const;
    // The API itself, for the tests that call the routes without the network.
    RemoteApi* Api() { return m_api.get(); }

private:
    bool Fail(const std::string& why);

    RemoteTargets m_targets;
    std::string m_pageFolder;
    RemoteToken m_token;
    RemoteSettings m_running;  // the section the server was started with
    std::unique_ptr<EventHub> m_hub;
    std::unique_ptr<RemoteApi> m_api;
    std::unique_ptr<RemoteServer> m_server;
};

}  // namespace kov
