#include "net/ftp/ftp_client.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

#include "core/text/text_util.h"

namespace kov {

namespace {

constexpr std::size_t kReplyCapacity = 1024;
constexpr std::size_t kTranscriptCapacity = 4096;
// A control line longer than this is cut (the rest up to its line feed is dropped).
constexpr std::size_t kMaxLineLength = 8192;
// A listing larger than this is refused rather than held in memory.
constexpr std::size_t kMaxListingBytes = 64u << 20;
// How long the reply to ABOR may take before it is given up.
constexpr std::chrono::milliseconds kAbortReplyWait{3000};
// What an anonymous login gives as its password.
constexpr const char* kAnonymousPassword = "kov@localhost.localdomain";

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool StartsWithCode(std::string_view line) {
    return line.size() >= 3 && IsDigit(line[0]) && IsDigit(line[1]) && IsDigit(line[2]);
}

bool IsPositivePreliminary(int code) {
    return code == 150 || code == 125;
}

// The blank-separated fields of a line, with the offset where each starts.
std::vector<std::pair<std::size_t, std::string_view>> Fields(std::string_view line) {
    std::vector<std::pair<std::size_t, std::string_view>> fields;
    std::size_t pos = 0;
    while (pos < line.size()) {
        while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t'))
            ++pos;
        if (pos >= line.size()) break;
        const std::size_t start = pos;
        while (pos < line.size() && line[pos] != ' ' && line[pos] != '\t')
            ++pos;
        fields.emplace_back(start, line.substr(start, pos - start));
    }
    return fields;
}

bool AllDigits(std::string_view text) {
    if (text.empty()) return false;
    for (char c : text) {
        if (!IsDigit(c)) return false;
    }
    return true;
}

}  // namespace

FtpClient::FtpClient(const std::atomic<int>* stopFlag) : m_stopFlag(stopFlag) {}

FtpClient::~FtpClient() = default;

bool FtpClient::Cancelled() const {
    return m_stopFlag && m_stopFlag->load() >= 2;
}

TcpSocket::Cancelled FtpClient::CancelTest() const {
    if (!m_stopFlag) return {};
    return [flag = m_stopFlag] { return flag->load() >= 2; };
}

void FtpClient::SetLocalError(int code, std::string text) {
    m_replyCode = code;
    m_replyText = CapText(text, kReplyCapacity);
    m_replyLine = m_replyText;
}

bool FtpClient::SendCommand(const std::string& command) {
    if (!m_control.IsOpen()) {
        SetLocalError(ENOTCONN, "Not connected");
        return false;
    }
    // A name taken from a URL or a listing must not smuggle in a second command.
    if (command.find_first_of("\r\n") != std::string::npos) {
        SetLocalError(EINVAL, "Line break in an FTP command");
        return false;
    }
    if (!m_control.SendAll(command + "\r\n", m_timeouts.reply, CancelTest())) {
        const int error = m_control.Error();
        SetLocalError(error, SocketErrorText(error));
        m_control.Close();
        return false;
    }
    return true;
}

// Keeps the reply that callers are told about across commands whose answers are not theirs.
class FtpClient::ReplyKeeper {
public:
    explicit ReplyKeeper(FtpClient& client)
        : m_client(client),
          m_code(client.m_replyCode),
          m_text(client.m_replyText),
          m_line(client.m_replyLine) {}
    ~ReplyKeeper() {
        m_client.m_replyCode = m_code;
        m_client.m_replyText = m_text;
        m_client.m_replyLine = m_line;
    }
    ReplyKeeper(const ReplyKeeper&) = delete;
    ReplyKeeper& operator=(const ReplyKeeper&) = delete;

private:
    FtpClient& m_client;
    int m_code;
    std::string m_text;
    std::string m_line;
};

bool FtpClient::ReadReply() {
    return ReadReply(m_timeouts.reply);
}

bool FtpClient::ReadReply(std::chrono::milliseconds timeout) {
    // One deadline for the whole reply: a server trickling it byte by byte cannot hold us.
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string line;
    std::string firstCode;  // set by the first line of a multi-line reply
    char chunk[1024];
    for (;;) {
        // Complete lines waiting in the buffer first.
        std::size_t end;
        while ((end = m_pending.find('\n')) != std::string::npos) {
            line.append(m_pending, 0, std::min(end + 1, kMaxLineLength));
            m_pending.erase(0, end + 1);
            if (line.size() < 3) {
                line.clear();
                continue;
            }
            std::string_view text(line);
            while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) {
                text.remove_suffix(1);
            }
            const bool coded = StartsWithCode(text);
            const bool last = coded && (text.size() == 3 || text[3] == ' ');
            if (firstCode.empty() && coded && text.size() > 3 && text[3] == '-') {
                firstCode = std::string(text.substr(0, 3));
            }
            // Inside a multi-line reply only its own code followed by a blank ends it, so a
            // continuation line such as "200 bytes" is not taken for the answer.
            if (last && (firstCode.empty() || text.substr(0, 3) == firstCode)) {
                m_replyCode = (text[0] - '0') * 100 + (text[1] - '0') * 10 + (text[2] - '0');
                m_replyLine = CapText(std::string(text), kReplyCapacity);
                m_replyText =
                    text.size() > 4 ? CapText(std::string(text.substr(4)), kReplyCapacity) : "";
                return true;
            }
            line.clear();
        }
        // An endless line is cut rather than held.
        if (m_pending.size() > kMaxLineLength) {
            line.append(m_pending, 0, kMaxLineLength - std::min(line.size(), kMaxLineLength));
            m_pending.clear();
        }
        if (!m_control.IsOpen()) {
            SetLocalError(ENOTCONN, "Not connected");
            return false;
        }
        const auto left = std::max(std::chrono::duration_cast<std::chrono::milliseconds>(
                                       deadline - std::chrono::steady_clock::now()),
                                   std::chrono::milliseconds(0));
        const long n = m_control.Receive(chunk, sizeof chunk, left, CancelTest());
        if (n <= 0) {
            const int error = n == 0 ? ECONNRESET : m_control.Error();
            SetLocalError(error, n == 0 ? "Connection closed by the server"
                                        : "No reply from the server: " + SocketErrorText(error));
            // The conversation is out of step now; the connection cannot be used again.
            m_control.Close();
            return false;
        }
        const std::size_t got = static_cast<std::size_t>(n);
        if (m_transcript.size() < kTranscriptCapacity) {
            m_transcript.append(chunk, std::min(got, kTranscriptCapacity - m_transcript.size()));
        }
        m_pending.append(chunk, got);
    }
}

bool FtpClient::Command(const std::string& command, int expected) {
    return SendCommand(command) && ReadReply() && m_replyCode == expected;
}

bool FtpClient::Connect(const std::string& host, int port) {
    Quit();
    m_host = host;
    m_pending.clear();
    m_transcript.clear();
    m_replyCode = 0;
    if (!m_control.Connect(host, port, m_timeouts.connect, CancelTest())) {
        const int error = m_control.Error();
        if (error == ECONNREFUSED) {
            SetLocalError(kFtpServerDown, "FTP server down on this Host");
        } else {
            SetLocalError(error, SocketErrorText(error));
        }
        return false;
    }
    if (!ReadReply()) return false;
    if (m_replyCode != 220) {
        m_control.Close();
        return false;
    }
    return true;
}

bool FtpClient::Login(const std::string& user, const std::string& password) {
    const std::string name = user.empty() ? "anonymous" : user;
    const std::string secret = password.empty() && (user.empty() || IEquals(user, "anonymous"))
                                   ? kAnonymousPassword
                                   : password;
    if (!SendCommand("USER " + name) || !ReadReply()) return false;
    // A server may let a user in without asking for a password (anonymous access often does).
    if (m_replyCode == 230) return true;
    if (m_replyCode != 331) return false;
    return Command("PASS " + secret, 230);
}

void FtpClient::Quit() {
    CloseData();
    if (m_control.IsOpen() && SendCommand("QUIT")) {
        ReadReply(std::min(m_timeouts.reply, kAbortReplyWait));
    }
    m_control.Close();
    m_pending.clear();
    m_transferState = kIdle;
}

bool FtpClient::ChangeFolder(const std::string& folder) {
    if (folder.empty()) {
        SetLocalError(kFtpEmptyFolder, "Empty directory passed");
        return false;
    }
    if (!Command("CWD " + folder, 250)) return false;
    {
        // The answer of the change is what callers report.
        const ReplyKeeper keep(*this);
        if (SendCommand("PWD")) ReadReply();
    }
    return m_control.IsOpen();
}

bool FtpClient::MakeFolder(const std::string& folder) {
    if (folder.empty()) {
        SetLocalError(kFtpEmptyFolder, "Empty directory passed");
        return false;
    }
    return Command("MKD " + folder, 257);
}

bool FtpClient::SetBinary() {
    return Command("TYPE I", 200);
}

bool FtpClient::OpenPassive() {
    const bool v6 = m_control.IsIPv6();
    int port = 0;
    if (v6) {
        if (!Command("EPSV", 229)) return false;
        if (!ParseExtendedPassiveReply(m_replyLine, port)) {
            SetLocalError(EPROTO, "Unreadable passive mode reply: " + m_replyLine);
            return false;
        }
    } else {
        if (!Command("PASV", 227)) return false;
        std::string announced;
        if (!ParsePassiveReply(m_replyLine, announced, port)) {
            SetLocalError(EPROTO, "Unreadable passive mode reply: " + m_replyLine);
            return false;
        }
    }
    // The data connection goes to the host we already talk to, whatever address the reply
    // names: a server behind NAT names one we cannot reach, and a hostile one could make us
    // connect to a third host.
    const std::string peer = m_control.PeerAddress();
    if (!m_data.Connect(peer, port, m_timeouts.data, CancelTest())) {
        const int error = m_data.Error();
        char text[64];
        std::snprintf(text, sizeof text, "Error connecting to server channel %d", error);
        SetLocalError(error, text);
        return false;
    }
    return true;
}

bool FtpClient::OpenActive() {
    const std::string local = m_control.LocalAddress();
    if (local.empty()) {
        SetLocalError(kFtpNoLocalAddress, "No local address for the data connection");
        return false;
    }
    if (!m_listener.Listen(local, 5)) {
        const int error = m_listener.Error();
        SetLocalError(error == EMFILE || error == ENFILE || error == ENOBUFS ? kFtpNoSocket
                                                                             : kFtpListenFailed,
                      "Cannot listen for the data connection: " + SocketErrorText(error));
        return false;
    }
    const int port = m_listener.LocalPort();
    if (port <= 0) {
        m_listener.Close();
        SetLocalError(kFtpNoLocalAddress, "No local port for the data connection");
        return false;
    }
    std::string command;
    if (m_control.IsIPv6()) {
        command = "EPRT |2|" + local + "|" + std::to_string(port) + "|";
    } else {
        std::string address = local;
        for (char& c : address) {
            if (c == '.') c = ',';
        }
        command =
            "PORT " + address + "," + std::to_string(port / 256) + "," + std::to_string(port % 256);
    }
    if (!SendCommand(command) || !ReadReply()) {
        m_listener.Close();
        return false;
    }
    if (m_replyCode != 200) {
        m_listener.Close();
        m_replyCode = kFtpPortRefused;
        return false;
    }
    m_activePending = true;
    return true;
}

bool FtpClient::OpenDataConnection() {
    CloseData();
    bool open = false;
    switch (m_mode) {
        case FtpDataMode::Passive:
            open = OpenPassive();
            break;
        case FtpDataMode::Active:
            open = OpenActive();
            break;
        case FtpDataMode::Auto:
            open = OpenPassive();
            if (!open && m_control.IsOpen() && !Cancelled()) {
                // Refused or unreachable: this server is spoken to in active mode from now on.
                open = OpenActive();
                if (open) m_mode = FtpDataMode::Active;
            }
            break;
    }
    if (!open) {
        CloseData();
        return false;
    }
    if (!SetBinary()) {
        CloseData();
        return false;
    }
    return true;
}

bool FtpClient::AcceptData() {
    if (!m_activePending) return m_data.IsOpen();
    m_activePending = false;
    TcpSocket connection;
    const bool accepted = m_listener.Accept(connection, m_timeouts.data, CancelTest());
    m_listener.Close();
    // Only the server we talk to may deliver the data.
    if (!accepted || connection.PeerAddress() != m_control.PeerAddress()) {
        SetLocalError(kFtpNotAccepted, "The data connection was not accepted");
        return false;
    }
    m_data = std::move(connection);
    return true;
}

void FtpClient::CloseData() {
    m_data.Close();
    m_listener.Close();
    m_activePending = false;
}

int FtpClient::List(const std::string& name) {
    m_listing.clear();
    m_skipped.clear();
    if (m_transferState != kIdle) {
        SetLocalError(kFtpTransferRunning, "A transfer is running");
        return -1;
    }
    if (!OpenDataConnection()) return -1;
    if (!SendCommand(name.empty() ? "LIST" : "LIST " + name) || !ReadReply() ||
        !IsPositivePreliminary(m_replyCode)) {
        CloseData();
        return -1;
    }
    if (!AcceptData()) {
        CloseData();
        return -1;
    }
    std::string text;
    char block[16384];
    bool failed = false;
    for (;;) {
        const long n = m_data.Receive(block, sizeof block, m_timeouts.data, CancelTest());
        if (n == 0) break;
        if (n < 0 || text.size() + static_cast<std::size_t>(n) > kMaxListingBytes) {
            failed = true;
            break;
        }
        text.append(block, static_cast<std::size_t>(n));
    }
    const int dataError = failed ? (m_data.Error() ? m_data.Error() : EFBIG) : 0;
    CloseData();
    if (failed) {
        // The server's final reply to the broken listing is not waited for.
        SetLocalError(dataError, "Listing failed: " + SocketErrorText(dataError));
        m_control.Close();
        return -1;
    }
    if (!ReadReply() || m_replyCode != 226) return -1;

    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        FtpEntry entry;
        if (!ParseListLine(line, entry)) continue;
        if (entry.name == "." || entry.name == "..") continue;
        if (entry.name.find_first_of("/\\") != std::string::npos ||
            entry.name.find('\0') != std::string::npos) {
            m_skipped.push_back(entry.name);
            continue;
        }
        m_listing.push_back(std::move(entry));
    }
    const ReplyKeeper keep(*this);
    for (FtpEntry& entry : m_listing) {
        if (!m_control.IsOpen()) break;
        ModTime(entry.name, entry);
    }
    return static_cast<int>(m_listing.size());
}

const FtpEntry* FtpClient::Entry(std::size_t i) const {
    return i < m_listing.size() ? &m_listing[i] : nullptr;
}

bool FtpClient::ModTime(const std::string& name, FtpEntry& entry) {
    if (!Command("MDTM " + name, 213)) return false;
    // "YYYYMMDDhhmmss", possibly followed by fractions of a second.
    const std::string& t = m_replyText;
    if (t.size() < 14) return false;
    for (std::size_t i = 0; i < 14; ++i) {
        if (!IsDigit(t[i])) return false;
    }
    auto number = [&t](std::size_t at, std::size_t length) {
        int value = 0;
        for (std::size_t i = at; i < at + length; ++i)
            value = value * 10 + (t[i] - '0');
        return value;
    };
    const int month = number(4, 2), day = number(6, 2), hour = number(8, 2), minute = number(10, 2),
              second = number(12, 2);
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return false;
    }
    entry.year = number(0, 4);
    entry.month = month;
    entry.day = day;
    entry.hour = hour;
    entry.minute = minute;
    entry.second = second;
    return true;
}

bool FtpClient::Retrieve(const std::string& name, std::uint64_t offset) {
    if (m_transferState != kIdle) {
        SetLocalError(kFtpTransferRunning, "A transfer is running");
        return false;
    }
    if (!OpenDataConnection()) return false;
    if (offset > 0 && !Command("REST " + std::to_string(offset), 350)) {
        CloseData();
        return false;
    }
    if (!SendCommand("RETR " + name) || !ReadReply() || !IsPositivePreliminary(m_replyCode)) {
        CloseData();
        return false;
    }
    if (!AcceptData()) {
        CloseData();
        return false;
    }
    m_transferState = kRetrieving;
    m_bytesReceived = 0;
    m_rateWaited = {};
    m_rateBytes = 0;
    return true;
}

long FtpClient::ReadData(char* buffer, std::size_t count) {
    if (m_transferState != kRetrieving || !m_data.IsOpen()) {
        SetLocalError(kFtpNotRetrieving, "Read while not retrieving");
        return -1;
    }
    const auto before = std::chrono::steady_clock::now();
    const long n = m_data.Receive(buffer, count, m_timeouts.data, CancelTest());
    if (n < 0) {
        const int error = m_data.Error();
        SetLocalError(error, "Data connection: " + SocketErrorText(error));
        return -1;
    }
    m_bytesReceived += static_cast<std::uint64_t>(n);
    // Each read has its time-out; over twice that, a trickle under one byte a second fails too.
    m_rateWaited += std::chrono::steady_clock::now() - before;
    m_rateBytes += static_cast<std::uint64_t>(n);
    const auto window = 2 * m_timeouts.data;
    if (m_rateWaited >= window) {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(window).count();
        if (m_rateBytes < static_cast<std::uint64_t>(std::max<long long>(seconds, 1))) {
            SetLocalError(ETIMEDOUT, "Less than one byte per second on the data connection");
            return -1;
        }
        m_rateWaited = {};
        m_rateBytes = 0;
    }
    return n;
}

bool FtpClient::EndTransfer() {
    if (m_transferState == kIdle) return false;
    const bool aborted = m_aborted;
    m_aborted = false;
    m_transferState = kIdle;
    CloseData();
    if (!ReadReply()) return false;
    const int code = m_replyCode;
    if (aborted) {
        // After ABOR the server answers twice (the transfer and the abort); the second answer
        // must not be taken for the reply to the next command.
        const ReplyKeeper keep(*this);
        ReadReply(kAbortReplyWait);
    }
    return code == 226 || code == 250;
}

void FtpClient::Abort() {
    CloseData();
    if (m_transferState != kIdle && m_control.IsOpen()) {
        if (SendCommand("ABOR")) m_aborted = true;
    }
}

bool FtpClient::Store(const std::string& localPath, const std::string& remoteFolder) {
    if (m_transferState != kIdle) {
        SetLocalError(kFtpTransferRunning, "A transfer is running");
        return false;
    }
    const int fd = ::open(localPath.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        SetLocalError(kFtpLocalFileError, "Cannot open " + localPath);
        return false;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    if (!remoteFolder.empty() && !ChangeFolder(remoteFolder)) return false;
    // Uploads always go passive; the mode chosen for downloads stays as it was.
    const FtpDataMode mode = m_mode;
    m_mode = FtpDataMode::Passive;
    const bool open = OpenDataConnection();
    m_mode = mode;
    if (!open) return false;
    const std::size_t cut = localPath.find_last_of("/\\");
    const std::string name = cut == std::string::npos ? localPath : localPath.substr(cut + 1);
    if (!SendCommand("STOR " + name) || !ReadReply() || !IsPositivePreliminary(m_replyCode) ||
        !AcceptData()) {
        CloseData();
        return false;
    }
    m_transferState = kStoring;
    bool stopped = false;
    bool failed = false;
    int failure = 0;
    std::vector<char> block(65536);
    for (;;) {
        if (m_stopFlag && m_stopFlag->load() >= 2) {
            stopped = true;
            break;
        }
        const ssize_t n = ::read(fd, block.data(), block.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            if (n < 0) {
                failed = true;
                failure = errno;
            }
            break;
        }
        if (!m_data.SendAll(std::string_view(block.data(), static_cast<std::size_t>(n)),
                            m_timeouts.data, CancelTest())) {
            failed = true;
            failure = m_data.Error();
            break;
        }
    }
    m_transferState = kIdle;
    CloseData();
    if (stopped) {
        // The server's answer to the cut-off file is read, but the stop is what is reported.
        if (m_control.IsOpen()) ReadReply();
        SetLocalError(kFtpUploadStopped, "Upload stopped");
        return false;
    }
    if (!ReadReply()) return false;
    if (failed) {
        SetLocalError(failure, "Upload failed: " + SocketErrorText(failure));
        return false;
    }
    return m_replyCode == 226 || m_replyCode == 250;
}

bool FtpClient::ParsePassiveReply(const std::string& line, std::string& address, int& port) {
    const std::size_t open = line.find('(');
    if (open == std::string::npos) return false;
    int numbers[6];
    std::size_t pos = open + 1;
    for (int i = 0; i < 6; ++i) {
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (pos >= line.size() || !IsDigit(line[pos])) return false;
        int value = 0;
        int digits = 0;
        while (pos < line.size() && IsDigit(line[pos]) && digits < 4) {
            value = value * 10 + (line[pos] - '0');
            ++pos;
            ++digits;
        }
        if (value > 255) return false;
        numbers[i] = value;
        while (pos < line.size() && line[pos] == ' ')
            ++pos;
        if (i < 5) {
            if (pos >= line.size() || line[pos] != ',') return false;
            ++pos;
        }
    }
    address = std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
              std::to_string(numbers[2]) + "." + std::to_string(numbers[3]);
    port = numbers[4] * 256 + numbers[5];
    return port > 0;
}

bool FtpClient::ParseExtendedPassiveReply(const std::string& line, int& port) {
    const std::size_t open = line.find('(');
    if (open == std::string::npos || open + 4 >= line.size()) return false;
    const char d = line[open + 1];
    if (line[open + 2] != d || line[open + 3] != d) return false;
    std::size_t pos = open + 4;
    long value = 0;
    int digits = 0;
    while (pos < line.size() && IsDigit(line[pos]) && digits < 6) {
        value = value * 10 + (line[pos] - '0');
        ++pos;
        ++digits;
    }
    if (digits == 0 || pos >= line.size() || line[pos] != d || value <= 0 || value > 65535) {
        return false;
    }
    port = static_cast<int>(value);
    return true;
}

bool FtpClient::ParseListLine(const std::string& line, FtpEntry& entry) {
    const auto fields = Fields(line);
    if (fields.empty()) return false;
    // MS-DOS layout: "12-06-26  10:00PM  <DIR>  name" or "... 1234 name".
    if (fields.size() >= 4 && fields[0].second.size() >= 8 && IsDigit(fields[0].second[0]) &&
        fields[0].second[2] == '-') {
        const std::string_view sizeField = fields[2].second;
        if (sizeField != "<DIR>" && !AllDigits(sizeField)) return false;
        entry.isFolder = sizeField == "<DIR>";
        entry.size = entry.isFolder ? 0 : ParseUint64(sizeField);
        entry.name = line.substr(fields[3].first);
        return !entry.name.empty();
    }
    // Unix layout: permissions, links, owner, group, size, month, day, time or year, name.
    if (fields.size() < 9) return false;
    const std::string_view mode = fields[0].second;
    if (mode.size() < 10 || std::string_view("-dlbcps").find(mode[0]) == std::string_view::npos) {
        return false;
    }
    if (!AllDigits(fields[4].second)) return false;
    entry.isFolder = mode[0] == 'd';
    entry.size = ParseUint64(fields[4].second);
    // The name is the rest of the line, blanks included; a link shows its target after " -> ".
    std::string name = line.substr(fields[8].first);
    if (mode[0] == 'l') {
        const std::size_t arrow = name.find(" -> ");
        if (arrow != std::string::npos) name.resize(arrow);
    }
    entry.name = std::move(name);
    return !entry.name.empty();
}

}  // namespace kov
