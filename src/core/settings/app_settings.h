#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/clock.h"

namespace kov {

class ProfileStore;

// A registered URL list as the settings file stores it (section "UrlList N").
struct ListRecord {
    static constexpr std::size_t kNameCapacity = 127;
    static constexpr std::size_t kPathCapacity = 259;
    std::string Name;
    std::string FileName;    // may hold path macros
    std::string SaveFolder;  // default destination of the list's items
};

// A scheduler task as the settings file stores it (section "Schedule").
struct ScheduleTask {
    static constexpr std::size_t kNameCapacity = 63;
    static constexpr std::size_t kTimeCapacity = 15;
    std::string TaskName;
    std::string ListName;
    std::string StartTime = "00:00";  // HH:MM
    std::string StopTime = "00:00";   // HH:MM, "00:00" = no stop time
    std::int32_t Days = 0;            // bit 0 Monday .. bit 6 Sunday
    std::int32_t Enabled = 1;
    std::int32_t SpeedLimited = 0;  // 0 default, 1 turn on, 2 turn off
};

// Another installation reached by e-mail (section "CtrByEmail").
struct EmailHost {
    static constexpr std::size_t kEmailCapacity = 79;
    static constexpr std::size_t kPasswordCapacity = 31;
    std::int32_t Enabled = 1;
    std::string HostEmail;
    std::string HostPsw;
};

struct ScheduleSettings {
    std::int32_t Enabled = 0;
    std::int32_t NewTaskStopsCurrent = 0;
    std::vector<ScheduleTask> tasks;
};

struct EmailSettings {
    static constexpr std::size_t kMaxHosts = 1023;
    std::string MailBox;      // 31
    std::string MailBoxPsw;   // 31
    std::string MyEmailAddr;  // 61
    std::string Passphrase;   // 31
    std::string Pop3Server;   // 79, host[:port]
    std::string SmtpServer;   // 79, host[:port]
    std::string SaveFolder;   // 259; default: program folder + "EmailQueries/"
    std::int32_t PollInterval = 0;
    std::int32_t ActAsHost = 0;
    std::int32_t PrimaryHost = 0;
    // Transport security of the two mail clients: 0 plain, 1 STARTTLS/STLS when offered,
    // 2 STARTTLS/STLS required, 3 TLS from the start (the ports 465 and 995 always use it).
    std::int32_t SmtpSecurity = 0;
    std::int32_t Pop3Security = 0;
    std::string SmtpUser;   // 79; empty = no AUTH
    std::string SmtpPsw;    // 63
    std::string TlsCaFile;  // 259; extra trusted CA certificates (PEM) beside the system's
    std::vector<EmailHost> hosts;
    // What a query received by mail may do; all off unless the user turns them on.
    std::int32_t QueryAllowCommand = 0;  // keep the items' after-download commands
    std::int32_t QueryAllowUpload = 0;   // keep the items' uploads
    std::int32_t QueryAllowLocal = 0;    // file:// and hosts of the local network
    std::int32_t QueryOpenAccess = 0;    // an empty Passphrase accepts queries
};

// The remote-control API of a running program (section "Remote").
struct RemoteSettings {
    static constexpr std::size_t kAddressCapacity = 127;
    std::int32_t Enabled = 0;
    std::string Address = "127.0.0.1";  // the address the server listens on
    std::int32_t Port = 6990;
    // With 1, items added from another machine keep their commands, uploads and folders.
    std::int32_t AllowCommands = 0;
};

// The defaults applied to an item made from a bare URL (section "NewUrlDefaults").
struct NewUrlDefaults {
    std::string Name = "{SITE}";            // 126
    std::string Referer = "{URLSITE}";      // 126
    std::string LocalDir = "{LISTFOLDER}";  // 258
    std::string Cmd;                        // 258
    std::int32_t PutNewToQueue = 0;
    std::int32_t RipBanners = 0;
    std::int32_t WithLinks = 0;
    std::int32_t WithPics = 0;
    std::int32_t ParseUrl = 0;
    std::int32_t Disabled = 0;
    std::int32_t interval = 0;
    std::int32_t nfsize = 0;
    std::string nfString;  // 127
    std::int32_t StopNumber = 10;
    std::int32_t Tolerance = 0;
    std::int32_t dayShift = 0;
    std::int32_t days = 0;
    std::int32_t UpdateMode = 0;
};

// The global settings, read from the settings file at start-up and written back at exit.
// Field names are the keys of the file ("User-Agent" is UserAgent).
struct AppSettings {
    static constexpr int kColumnCount = 11;
    static constexpr std::array<std::int32_t, kColumnCount> kDefaultColumns = {
        176, 248, 166, 240, 140, 182, 182, 10, 148, 148, 124};

    // "KOV-Main": network and transfer.
    std::string UserAgent;          // 127
    std::int32_t StdUserAgent = 1;  // Kov's own; the others are old browsers'
    std::int32_t FtpPasvMode = 0;
    std::int32_t ProxyFromIE = 1;
    std::int32_t Proxy = 0;
    std::string ProxyAddress;  // 248
    std::string ProxyUser;     // 31
    std::string ProxyPsw;      // 31
    std::int32_t FtpProxy = 0;
    std::string FtpProxyAddress;  // 248
    std::string FtpProxyUser;     // 30
    std::string FtpProxyPsw;      // 30
    std::int32_t FtpProxyType = 0;
    std::int32_t BypassProxyLocal = 1;
    std::int32_t SpeedLimited = 0;
    std::int32_t SpeedLimitInet = 0;
    std::int32_t SpeedLimitLoc = 0;
    std::int32_t LimitTrace = 0;
    std::string LimitSum;  // 127
    std::int32_t MaxThreads = 1;
    std::int32_t AbortMode = 0;
    std::int32_t NoCache = 0;
    std::int32_t DetectUrlTypes = 0;
    std::int32_t SaveOriginalNames = 1;
    std::int32_t DocModeFlags = 0;
    std::int32_t FileSubFolders = 0;
    std::uint16_t DownloadFlags = 0;
    std::uint16_t DownloadFlagsFull = 255;
    std::string SrFileMasks;  // 254
    // With 1, https URLs are handled like http ones; with 0 they fail as unsupported.
    std::int32_t EnableHttps = 1;
    // With 1, ripped pages come out whole as today's web writes them (style sheets by rel,
    // @import, srcset, media tags, an https link to the same host, relative cross references);
    // 0 keeps the older rules.
    std::int32_t ModernHtml = 1;

    // "KOV-Main": session, log, sounds, dial-up.
    std::int32_t Debug = 0;
    std::int32_t WriteLog = 0;
    std::int32_t LogDetail = 0;  // 0..2
    std::int32_t MaxLogSize = 0;
    std::int32_t UseSound = 0;
    std::string SoundStart, SoundEnd, SoundErr1, SoundErr2;  // 259 each
    std::int32_t OnEndSession = 0;
    std::int32_t NotNeededAction = 0;
    std::int32_t UseDialUp = 0;
    std::int32_t RasMonitoring = 0;
    std::string DialupItem;  // 62
    std::int32_t Hangup = 0;
    std::int16_t ReDialCount = 0;
    std::string DialUser, DialPsw;  // 19 each; read only
    std::int32_t ChkUpdInterval = 0;
    CalendarTime ChkUpdLastDate{1910, 1, 1, 0, 0, 0, 0};
    // Where the update check fetches the program-information file; empty = no update check.
    std::string UpdateUrl;       // 254
    std::string Language = "0";  // 62
    std::int32_t CurLstNum = 0;

    // "KOV-Main": window and view.
    std::int32_t WndLeft = 0, WndTop = 0, WndWidth = 0, WndHeight = 0;
    std::int32_t WndSplitRow = 300;
    std::int32_t WndSplitCol = 160;
    std::int32_t WndStatus = 0;  // read only
    std::int32_t WndTopmost = 0;
    std::int32_t ShowPaneLists = 1;
    std::int32_t MinToTray = 0;
    std::int32_t Transparency = 0;  // at most 250
    // Connections for one file, when the server can send parts and the file is large.
    std::int32_t Connections = 4;
    std::array<std::int32_t, kColumnCount> Column = kDefaultColumns;

    NewUrlDefaults newUrl;
    std::vector<ListRecord> lists;  // the list catalogue, in pane order
    ScheduleSettings schedule;
    EmailSettings email;
    RemoteSettings remote;

    // Set by every change of a setting or of the catalogue; tested at exit. Not stored.
    bool changed = false;
};

inline constexpr const char* kMainSection = "KOV-Main";
inline constexpr const char* kNewUrlSection = "NewUrlDefaults";
inline constexpr const char* kScheduleSection = "Schedule";
inline constexpr const char* kEmailSection = "CtrByEmail";
inline constexpr const char* kRemoteSection = "Remote";
inline constexpr int kMaxLists = 511;
// The most connections one file is fetched over.
inline constexpr int kMaxConnections = 16;

// What the preferences hold a setting to: a text's capacity in bytes, or a number's range.
struct SettingLimits {
    std::size_t capacity = 0;
    std::int32_t min = 0;
    std::int32_t max = 0;
};

// The declared limits of a key of kMainSection, kNewUrlSection, kEmailSection or kRemoteSection, as
// the settings file names it ("User-Agent"); all zero for a key without limits. An unknown section
// or key is a programming error and aborts.
SettingLimits LimitsOf(std::string_view section, std::string_view key);

// "UrlList N", N counted from 1.
std::string ListSectionName(unsigned number);

// Reads every key (missing keys take their defaults) and applies the load-time corrections:
// LogDetail 0..2, Transparency 0..250, and the counts, sizes, times and new-item numbers
// clamped to ranges where later arithmetic cannot overflow.
// programFolder (with its trailing '/') gives the default of the e-mail save folder.
void LoadSettings(const ProfileStore& store, AppSettings& settings,
                  const std::string& programFolder);

// Clears the store (a comment block at its top survives) and writes all sections in the order
// KOV-Main, the lists, NewUrlDefaults, Schedule, CtrByEmail, Remote. Does not flush. False when the
// store refused the writes (it was not opened, or its file could not be read).
[[nodiscard]] bool SaveSettings(ProfileStore& store, const AppSettings& settings);

// Writes the first seven column widths into KOV-Main, leaving the other keys as they are.
[[nodiscard]] bool WriteColumnWidths(ProfileStore& store, const AppSettings& settings);

}  // namespace kov
