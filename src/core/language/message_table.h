#pragma once

#include <span>
#include <string>
#include <string_view>

namespace kov {

// A position in the message table. Every status, log and prompt text of the session side is
// produced through it, so that a language file can replace it.
enum class EventCode : int {
    Bytes,
    Kbytes,
    SpeedByte,
    SpeedKB,
    Yes,
    No,
    RAS_connecting,
    RAS_ConnectTimeout,
    RAS_PortOpen,
    RAS_Auth_Ok,
    RAS_Auth_PwdExpired,
    RAS_Disconnected,
    RAS_DisconnectError,
    RAS_ConnectionExist,
    RAS_ConnectionEstablished,
    RAS_NoConnectionEstablished,
    StartingSession,
    SessionHalted,
    FileAlreadyExist,
    ChooseFolder,
    NoFilesToReplace,
    FileReplaces,
    FilesRestored,
    ConnectingToHost,
    ConnectingError,
    FtpFolderError,
    FtpFileOpenError,
    Error,
    MkDirError,
    AddedToQueue,
    ItemStarted,
    DlFileStarted,
    DlFileResumed,
    DlFileOk,
    DlFile404Deleted,
    DlOpenResourceError,
    FileSkipped,
    FileReadError,
    ReadError,
    WriteError,
    NoDiskSpace,
    AbortedByUser,
    AbortedByLimit,
    WrongContentType,
    DownloadError,
    ReplaceDone,
    LinkedDocsStarted,
    LinkedDocsFound,
    HtmlParseStarted,
    HtmlParseFinished,
    RunCmdCalled,
    JobCanceled,
    JobAborted,
    JobFinished,
    ItemDeleted,
    SessionSummary1,
    SessionSummary2,
    NoJobsToRun,
    ScheduledStarting,
    ScheduledStopping,
    RetryOnTimeout,
    QueueRebuilt,
    ErrorSavingIni,
    UploadStarted,
    UploadDone,
    UploadError,
    FtpConnected,
    FtpAuthorized,
    FtpWrongPassword,
    Merging,
    MergeDone,
    PartSize,
    FileSize,
    DistrDlCreated,
    DistrDlImpossible,
    DistrDlFileChanged,
    DistrDlNoResume,
    ErrDownloadBroken,
    Unknown,
    ResourceUnavailable,
    SchedQueueEmpty,
    SchedQueueList,
    SchedStartTime,
    SchedStopTime,
    SchedListName,
    UpdateAppTitle,
    UpdateAppNoNeed,
    UpdateAppError,
    UpdateAppReady,
    NoShutdownRights,
    Running,
    RunningActive,
    RunningInQueue,
    QryReceivedFrom,
    QrySentToServer,
    SendEmailError,
    SmtpConnectError,
    DDSendPrompt,
    CESendPrompt,
    DDQueriesSent,
    CEReceivedQueryFrom,
    GetMailError,
    DDSendingErrors,
    CheckingUpdate,
    ServerLive,
    Messages,
    NoServer,
    AdjustCrossRefStart,
    UpdateNotConfigured,
    RipPageTooLarge,
    RipResourceTooLarge,
    RipDiskNearlyFull,
    RipResourceTimedOut,
    RipRedirectOffSite,
    BannedWordsCut,
    RulesFileTooLarge,
    RemoteListening,
    RemoteOpenToNetwork,
    RemoteNotStarted,
    RemoteStopped,
    Count
};

struct MessageEntry {
    const char* key;   // the key in the "Strings" section of a language file
    const char* text;  // the built-in English text
};

// The table in order; entry i belongs to EventCode i.
std::span<const MessageEntry> MessageTable();

// The current text of a position: the loaded text, else the built-in one; ":)" outside the
// table. The returned reference stays valid until the text of that position is replaced.
const std::string& GetString(int position);
inline const std::string& GetString(EventCode code) {
    return GetString(static_cast<int>(code));
}

// The position of a key (ASCII case ignored), or -1.
int FindMessageKey(std::string_view key);

// Replaces the text of a position (the localiser does this at start-up, before other threads
// run). Positions outside the table are ignored.
void SetMessageText(int position, std::string text);
// Back to the built-in texts.
void ResetMessageTexts();

}  // namespace kov
