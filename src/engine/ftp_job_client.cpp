#include "engine/ftp_job_client.h"

#include "core/text/text_util.h"
#include "model/url_parts.h"
#include "model/url_template.h"
#include "net/ftp/ftp_fetch.h"

namespace kov {

namespace {

// The path of an FTP address, escapes decoded; a query or fragment is not part of a file name.
std::string FtpPath(const UrlParts& parts) {
    std::string path = parts.object.empty() ? "/" : parts.object;
    const std::size_t cut = path.find_first_of("?#");
    if (cut != std::string::npos) path.resize(cut);
    return path;
}

// Makes a folder; for servers that make one level at a time, every level of the path in turn
// (levels that exist already fail harmlessly).
bool MakeFolders(FtpClient& client, const std::string& folder) {
    if (client.MakeFolder(folder)) return true;
    for (std::size_t pos = folder.find('/', 1); pos != std::string::npos;
         pos = folder.find('/', pos + 1)) {
        if (!client.IsConnected()) return false;
        client.MakeFolder(folder.substr(0, pos));
    }
    return client.IsConnected() && client.MakeFolder(folder);
}

}  // namespace

FtpDataMode DataModeFromSetting(int ftpPasvMode) {
    if (ftpPasvMode == 1) return FtpDataMode::Active;
    if (ftpPasvMode == 2) return FtpDataMode::Passive;
    return FtpDataMode::Auto;
}

bool FtpJobClient::Connect(DownloadJob& job, const std::string& url, int& stage,
                           std::string& replyText) {
    UrlParts parts;
    m_client = std::make_unique<FtpClient>(&job.stopRequest);
    if (!SplitUrl(url, parts, true) || parts.host.empty()) {
        stage = 1;
        replyText = "Invalid FTP address";
        return false;
    }
    if (!m_client->Connect(parts.host, parts.port > 0 ? parts.port : 21)) {
        stage = 1;
        replyText = m_client->LastReplyText();
        return false;
    }
    // Credentials in the address are the ones meant for this server.
    std::string user = parts.user.empty() ? job.Item().UserName : parts.user;
    std::string password = parts.user.empty() ? job.Item().UserPsw : parts.password;
    if (user.empty()) user = "anonymous";
    if (IEquals(user, "anonymous")) password.clear();  // the built-in anonymous password
    if (!m_client->Login(user, password)) {
        stage = 2;
        replyText = m_client->LastReplyText();
        m_client->Quit();
        return false;
    }
    m_client->SetDataMode(DataModeFromSetting(job.Settings().FtpPasvMode));
    return true;
}

bool FtpJobClient::Connected() const {
    return m_client && m_client->IsConnected();
}

int FtpJobClient::Fetch(DownloadJob& job, const std::string& url, std::string& localPath) {
    UrlParts parts;
    if (!m_client || !SplitUrl(url, parts, true)) return kResultNoConnection;
    return FetchFtp(*m_client, FtpPath(parts), localPath, job.Transfer());
}

void FtpJobClient::Quit() {
    if (m_client) m_client->Quit();
}

void FtpJobClient::Upload(DownloadJob& job, const std::string& localPath) {
    const UrlItem& item = job.Item();
    std::string host;
    int port = 21;
    SplitServerAddress(item.UploadServer, 21, host, port);
    FtpClient client(&job.stopRequest);
    auto fail = [&] {
        job.PostEvent(kEventUploadError, client.LastReplyCode(), 0, item.UploadServer,
                      client.LastReplyText());
        client.Quit();
    };
    if (!client.Connect(host, port) || !client.Login(item.UploadLogin, item.UploadPassword)) {
        fail();
        return;
    }
    if (!item.UploadFolder.empty()) {
        const std::time_t now =
            job.Environment().now ? job.Environment().now() : std::time(nullptr);
        const std::string folder = ExpandTemplate(item.UploadFolder, now, 0, true);
        if (!client.ChangeFolder(folder)) {
            // A missing folder is made, level by level where the server needs it.
            if (client.LastReplyCode() != 550 || !MakeFolders(client, folder) ||
                !client.ChangeFolder(folder)) {
                fail();
                return;
            }
        }
    }
    job.PostEvent(kEventUploadStarted, 0, 0, localPath, item.UploadServer);
    client.Store(localPath, "");
    job.PostEvent(kEventUploadEnded, client.LastReplyCode(), 0, item.UploadServer,
                  client.LastReplyText());
    client.Quit();
}

}  // namespace kov
