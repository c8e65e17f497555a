#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/tcp_socket.h"

namespace kov {

// One entry of a listing. The time fields are UTC, 0 when the server gave no time.
struct FtpEntry {
    std::string name;
    std::uint64_t size = 0;
    bool isFolder = false;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;

    bool HasTime() const { return year != 0; }
};

// Codes the client stores as its reply code when the failure is its own; socket errors are
// stored as their errno values.
enum FtpLocalError : int {
    kFtpNoLocalAddress = 5000,
    kFtpNoSocket = 5001,
    kFtpListenFailed = 5002,
    kFtpPortRefused = 5003,
    kFtpNotAccepted = 5004,
    kFtpLocalFileError = 5005,
    kFtpTransferRunning = 5007,
    kFtpEmptyFolder = 5008,
    kFtpNotRetrieving = 5030,
    kFtpServerDown = 5900,
    kFtpUploadStopped = 8022,
};

// How data connections are opened. Auto tries passive first and falls back to active when the
// server refuses passive mode.
enum class FtpDataMode { Auto, Active, Passive };

// The FTP client of a job (or of an upload, or of a probe): one control connection, one data
// connection at a time, blocking sockets with time-outs. Used by one thread.
//
// Every step returns success or failure and leaves the last reply code and text (or a local
// error code, FtpLocalError) for the caller to report.
class FtpClient {
public:
    struct Timeouts {
        std::chrono::milliseconds connect{30000};
        std::chrono::milliseconds reply{60000};  // each whole reply on the control connection
        // Data connection set-up and each data read; a retrieval under one byte a second over
        // twice this time fails too.
        std::chrono::milliseconds data{60000};
    };

    // stopFlag, when given, is the owning job's stop request: 2 or more cancels waits and ends
    // an upload.
    explicit FtpClient(const std::atomic<int>* stopFlag = nullptr);
    ~FtpClient();
    FtpClient(const FtpClient&) = delete;
    FtpClient& operator=(const FtpClient&) = delete;

    void SetTimeouts(const Timeouts& timeouts) { m_timeouts = timeouts; }

    // Connects and reads the greeting (220). A refused connection gives kFtpServerDown and the
    // text "FTP server down on this Host".
    bool Connect(const std::string& host, int port = 21);
    // USER, then PASS. An empty user logs in as "anonymous" (and an empty password with the
    // built-in anonymous password); a 230 answer to USER is a login without a password.
    bool Login(const std::string& user, const std::string& password);
    // QUIT, then closes every connection.
    void Quit();

    void SetPassive(bool on) { m_mode = on ? FtpDataMode::Passive : FtpDataMode::Active; }
    void SetDataMode(FtpDataMode mode) { m_mode = mode; }
    FtpDataMode DataMode() const { return m_mode; }

    bool IsConnected() const { return m_control.IsOpen(); }
    int LastReplyCode() const { return m_replyCode; }
    const std::string& LastReplyText() const { return m_replyText; }
    const std::string& LastReplyLine() const { return m_replyLine; }
    // What the control connection received (the first 4096 bytes), for diagnostics.
    const std::string& Transcript() const { return m_transcript; }
    const std::string& Host() const { return m_host; }

    bool ChangeFolder(const std::string& folder);
    bool MakeFolder(const std::string& folder);
    bool SetBinary();

    // Lists name (every entry when empty; wildcards are the server's) and asks the time of each
    // entry. The number of entries, or -1. Entries whose names could leave a local folder
    // ("." , "..", a name with a separator) are left out and recorded in SkippedNames().
    int List(const std::string& name);
    const FtpEntry* Entry(std::size_t i) const;
    std::size_t EntryCount() const { return m_listing.size(); }
    const std::vector<std::string>& SkippedNames() const { return m_skipped; }

    // MDTM: the entry's time fields from a 213 reply.
    bool ModTime(const std::string& name, FtpEntry& entry);

    // RETR from offset (REST first when it is above 0). Then ReadData until it returns 0, and
    // EndTransfer; or Abort.
    bool Retrieve(const std::string& name, std::uint64_t offset);
    // Bytes read (0 at the end of the data, -1 on an error: LastReplyCode() holds the errno or
    // kFtpNotRetrieving).
    long ReadData(char* buffer, std::size_t count);
    // Closes the data connection and reads the final reply: true on 226 (or 250).
    bool EndTransfer();
    // ABOR, and the data connection closed without waiting for the reply.
    void Abort();
    std::uint64_t BytesReceived() const { return m_bytesReceived; }

    // STOR of a local file into remoteFolder (the current folder when empty) under the local
    // file's name, always in passive mode. True on 226.
    bool Store(const std::string& localPath, const std::string& remoteFolder);

    // Parses a 227 reply ("... (h1,h2,h3,h4,p1,p2)"): the address "h1.h2.h3.h4" and the port
    // p1 * 256 + p2. False when the numbers are missing or out of range.
    static bool ParsePassiveReply(const std::string& line, std::string& address, int& port);
    // Parses a 229 reply ("... (|||port|)").
    static bool ParseExtendedPassiveReply(const std::string& line, int& port);
    // Splits a Unix listing line: size (fifth field) and name (the rest after the date). False
    // for lines that are not entries ("total 12").
    static bool ParseListLine(const std::string& line, FtpEntry& entry);

private:
    enum TransferState { kIdle = 0, kRetrieving = 82, kStoring = 87 };

    bool Cancelled() const;
    TcpSocket::Cancelled CancelTest() const;
    void SetLocalError(int code, std::string text);
    bool SendCommand(const std::string& command);
    class ReplyKeeper;

    bool ReadReply();
    bool ReadReply(std::chrono::milliseconds timeout);
    // Sends a command and reads its reply; true when the reply code is expected.
    bool Command(const std::string& command, int expected);
    bool OpenDataConnection();
    bool OpenPassive();
    bool OpenActive();
    // Makes the data socket ready after the 150 reply (accepts it in active mode).
    bool AcceptData();
    void CloseData();

    const std::atomic<int>* m_stopFlag;
    Timeouts m_timeouts;
    TcpSocket m_control;
    TcpSocket m_data;      // the passive connection, or the accepted active one
    TcpSocket m_listener;  // active mode, until the server connects
    bool m_activePending = false;
    bool m_aborted = false;  // ABOR was sent: its reply follows the transfer's
    FtpDataMode m_mode = FtpDataMode::Active;
    int m_replyCode = 0;
    std::string m_replyText;
    std::string m_replyLine;
    std::string m_transcript;
    std::string m_pending;  // control bytes received after the last complete line
    std::vector<FtpEntry> m_listing;
    std::vector<std::string> m_skipped;
    std::string m_host;
    TransferState m_transferState = kIdle;
    std::uint64_t m_bytesReceived = 0;
    std::chrono::steady_clock::duration m_rateWaited{};  // waiting for data, this window
    std::uint64_t m_rateBytes = 0;                       // and what arrived meanwhile
};

}  // namespace kov
