#include "core/language/message_table.h"

#include <array>
#include <vector>

#include "core/text/text_util.h"

namespace kov {

namespace {

constexpr MessageEntry kTable[] = {
    {"Bytes", "Bytes"},
    {"Kbytes", "Kbytes"},
    {"SpeedByte", "Bytes/sec"},
    {"SpeedKB", "KB/sec"},
    {"Yes", "Yes"},
    {"No", "No"},
    {"RAS_connecting", "Establishing connection"},
    {"RAS_ConnectTimeout", "Connecting aborted by timeout"},
    {"RAS_PortOpen", "RAS: Port open"},
    {"RAS_Auth_Ok", "RAS: Authentication done"},
    {"RAS_Auth_PwdExpired", "RAS: password expired!"},
    {"RAS_Disconnected", "RAS - connection closed"},
    {"RAS_DisconnectError", "RAS - closing connection ERROR"},
    {"RAS_ConnectionExist", "Connection is already active"},
    {"RAS_ConnectionEstablished", "connection established"},
    {"RAS_NoConnectionEstablished", "RAS Connection not established"},
    {"StartingSession", "Starting download session..."},
    {"SessionHalted", "Session halted"},
    {"FileAlreadyExist", "File is already in list !"},
    {"ChooseFolder", "Please choose a folder"},
    {"NoFilesToReplace", "No files to search/Replace"},
    {"FileReplaces", "replaces in file"},
    {"FilesRestored", "files restored"},
    {"ConnectingToHost", "Connecting to Host..."},
    {"ConnectingError", "Error connecting to host"},
    {"FtpFolderError", "No such Ftp folder"},
    {"FtpFileOpenError", "Ftp file open Error"},
    {"Error", "Error"},
    {"MkDirError", "Cannot create folder"},
    {"AddedToQueue", "added to queue"},
    {"ItemStarted", "download Started"},
    {"DlFileStarted", "Downloading file started"},
    {"DlFileResumed", "File resumed from"},
    {"DlFileOk", "File download OK"},
    {"DlFile404Deleted", "File deleted as 404 stub"},
    {"DlOpenResourceError", "Open resource error"},
    {"FileSkipped", "File skipped (already exists)"},
    {"FileReadError", "File read error"},
    {"ReadError", "Read file error"},
    {"WriteError", "Write file error"},
    {"NoDiskSpace", "No disc space"},
    {"AbortedByUser", "Aborted by user"},
    {"AbortedByLimit", "Stopped due to limit exceed"},
    {"WrongContentType", "Wrong resource content type"},
    {"DownloadError", "Download error"},
    {"ReplaceDone", "Replace performed"},
    {"LinkedDocsStarted", "gathering linked docs"},
    {"LinkedDocsFound", "linked docs found"},
    {"HtmlParseStarted", "parsing html started"},
    {"HtmlParseFinished", "parsing html finished"},
    {"RunCmdCalled", "external command called"},
    {"JobCanceled", "job cancelled before start"},
    {"JobAborted", "job aborted by user"},
    {"JobFinished", "Job finished"},
    {"ItemDeleted", "Download deleted from list"},
    {"SessionSummary1", "Session finished, bytes downloaded"},
    {"SessionSummary2", "average speed"},
    {"NoJobsToRun", "No jobs to start"},
    {"ScheduledStarting", "Scheduled session starts, stop time: "},
    {"ScheduledStopping", "Stopping scheduled session"},
    {"RetryOnTimeout", "resuming after timeout"},
    {"QueueRebuilt", "Scheduled task queue rebuilt"},
    {"ErrorSavingIni", "Error saving INI file !"},
    {"UploadStarted", "File upload started"},
    {"UploadDone", "File uploaded successfully"},
    {"UploadError", "File upload error !"},
    {"FtpConnected", "Connected to server..."},
    {"FtpAuthorized", "Login/password OK"},
    {"FtpWrongPassword", "Wrong login/password refused"},
    {"Merging", "Merging ..."},
    {"MergeDone", "File successfully created. Delete part files ?"},
    {"PartSize", "One part size is"},
    {"FileSize", "File size"},
    {"DistrDlCreated", "Job definitions for distributed download created."},
    {"DistrDlImpossible", "Distributed download for this URL is Impossible !"},
    {"DistrDlFileChanged", "File changed on server, distributed impossible"},
    {"DistrDlNoResume", "Partial download unavailable, distributed impossible"},
    {"ErrDownloadBroken", "Timeout or server down during download"},
    {"Unknown", "Unknown"},
    {"ResourceUnavailable", "URL unreachable (no Internet ?)"},
    {"SchedQueueEmpty", "Scheduled tasks queue is EMPTY !"},
    {"SchedQueueList", "Scheduled Tasks (today)"},
    {"SchedStartTime", "Start time"},
    {"SchedStopTime", "Stop time"},
    {"SchedListName", "List Name"},
    {"UpdateAppTitle", "<Program update>"},
    {"UpdateAppNoNeed", "Update not needed. No new Versions"},
    {"UpdateAppError", "Update information unavailable, please check Internet connection"},
    {"UpdateAppReady", "There is update ! URL has placed into downloading list"},
    {"NoShutdownRights", "You have no privileges to shutdown system !"},
    {"Running", "Running"},
    {"RunningActive", "being downloaded"},
    {"RunningInQueue", "waiting"},
    {"QryReceivedFrom", "Query for URL received from"},
    {"QrySentToServer", "File was sent to KOV server"},
    {"SendEmailError", "Sending email message failed !"},
    {"SmtpConnectError", "SMTP server connect error !"},
    {"DDSendPrompt", "Sending queries. Do You want to send query to the KOV servers ?"},
    {"CESendPrompt", "Do You want to send query to the Prinary KOV server"},
    {"DDQueriesSent", "All distributed-download queries sent"},
    {"CEReceivedQueryFrom", "Received query from"},
    {"GetMailError", "Connecting POP3 server Error !"},
    {"DDSendingErrors", "Some errors while sending Distributed Dl queries !"},
    {"CheckingUpdate", "Checking for program update..."},
    {"ServerLive", "Connection to Server OK"},
    {"Messages", "messages"},
    {"NoServer", "Could not connect to  server"},
    {"AdjustCrossRefStart", "adjusting cross refs in"},
    {"UpdateNotConfigured",
     "Update check is not configured: set UpdateUrl in [KOV-Main] of kov.ini"},
    {"RipPageTooLarge", "Page too large to rip, kept as delivered:"},
    {"RipResourceTooLarge", "Resource larger than the limit for ripped files, stopped and removed"},
    {"RipDiskNearlyFull", "Disk nearly full, ripping stopped"},
    {"RipResourceTimedOut", "Resource not complete within the time allowed, given up"},
    {"RipRedirectOffSite", "Link redirected off the site, not followed:"},
    {"BannedWordsCut",
     "BannedWords is longer than 1023 characters: the words beyond are not in force"},
    {"RulesFileTooLarge", "Rule file too large, not read:"},
    {"RemoteListening", "Remote control listens on"},
    {"RemoteOpenToNetwork",
     "Remote control is open to other machines: anyone who reaches this address and has the "
     "token can steer the program"},
    {"RemoteNotStarted", "Remote control could not start:"},
    {"RemoteStopped", "Remote control stopped"},
};

static_assert(std::size(kTable) == static_cast<std::size_t>(EventCode::Count),
              "every event code has a table entry");

std::vector<std::string>& Texts() {
    static std::vector<std::string> texts = [] {
        std::vector<std::string> t;
        for (const MessageEntry& e : kTable)
            t.emplace_back(e.text);
        return t;
    }();
    return texts;
}

}  // namespace

std::span<const MessageEntry> MessageTable() {
    return kTable;
}

const std::string& GetString(int position) {
    static const std::string kOutside = ":)";
    const auto& texts = Texts();
    if (position < 0 || static_cast<std::size_t>(position) >= texts.size()) return kOutside;
    return texts[static_cast<std::size_t>(position)];
}

int FindMessageKey(std::string_view key) {
    for (std::size_t i = 0; i < std::size(kTable); ++i) {
        if (IEquals(kTable[i].key, key)) return static_cast<int>(i);
    }
    return -1;
}

void SetMessageText(int position, std::string text) {
    auto& texts = Texts();
    if (position < 0 || static_cast<std::size_t>(position) >= texts.size()) return;
    texts[static_cast<std::size_t>(position)] = std::move(text);
}

void ResetMessageTexts() {
    auto& texts = Texts();
    for (std::size_t i = 0; i < std::size(kTable); ++i)
        texts[i] = kTable[i].text;
}

}  // namespace kov
