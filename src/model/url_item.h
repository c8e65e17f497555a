#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace kov {

// One search-and-replace rule of an item, of the banner file or of a site rule.
struct ReplaceRule {
    static constexpr std::size_t kIdCapacity = 15;
    static constexpr std::size_t kTextCapacity = 299;
    std::string id;           // free label; list files do not store it
    std::string find;         // "String 1"; an empty find text ends a rule list on load
    std::string replace;      // "String 2": the replacement, or the end marker for action 3
    std::int32_t action = 0;  // 0 replace, 1 cut from beginning, 2 cut to the end, 3 cut between
    std::int32_t ignoreCase = 0;
    std::int32_t multiple = 0;  // all occurrences
};

// The update modes of an item.
enum UpdateModeValue : std::int32_t {
    kUpdateAuto = 0,       // resume a partial copy, fetch again when the remote one is newer
    kUpdateOverwrite = 1,  // always fetch and overwrite
    kUpdateSkip = 2,       // never fetch when the local file exists
};

// One standing download definition. Field names are the keys of the list file.
struct UrlItem {
    static constexpr std::size_t kNameCapacity = 79;
    static constexpr std::size_t kUrlCapacity = 299;
    static constexpr std::size_t kDestCapacity = 259;
    static constexpr std::size_t kCmdCapacity = 258;
    static constexpr std::size_t kRefererCapacity = 298;
    static constexpr std::size_t kNfStringCapacity = 126;
    static constexpr std::size_t kIdCapacity = 31;
    static constexpr std::size_t kUserCapacity = 30;           // UserName and UserPsw
    static constexpr std::size_t kUploadServerCapacity = 127;  // UploadServer and UploadFolder
    static constexpr std::size_t kUploadLoginCapacity = 35;    // UploadLogin and UploadPassword
    // The sender's bare address: RFC 5321 allows 254 characters, and a cut address reaches
    // nobody.
    static constexpr std::size_t kCeComeFromCapacity = 254;
    static constexpr std::size_t kMaxRules = 127;
    static constexpr const char* kUpdateProgramId = "{UPDATE_PROGRAM}";

    std::string Name;
    std::string Url;  // template: macros, date tokens, number series
    std::string Dest;
    std::string Cmd;
    std::string Referer;
    std::int32_t days = 0;      // days back, 0..365
    std::int32_t dayShift = 0;  // days subtracted from today before dates are expanded
    std::int32_t nfsize = 0;    // files smaller than this are "not found" stubs
    std::string nfString;       // files containing this are "not found" stubs
    std::string ID;
    std::int32_t UpdateMode = kUpdateAuto;
    std::int32_t NumBased = 0;
    std::int32_t CurrentNum = 0;
    std::int32_t StopNumber = 0;
    std::int32_t RipBanners = 0;
    std::int32_t Tolerance = 0;
    std::int32_t Disabled = 0;
    std::int32_t ClearFolder = 0;
    std::int32_t WithPics = 0;
    std::int32_t WithLinks = 0;
    std::int32_t EnableReplace = 0;
    std::time_t lastDL = 0;     // last successful download (local midnight of that day)
    std::int32_t interval = 0;  // 0 every session, N every N days, -1 once only
    std::int16_t ConType = 0;   // expected content category, 0..7
    std::string UserPsw;
    std::string UserName;
    std::int32_t Upload = 0;
    std::string UploadServer;
    std::string UploadFolder;
    std::string UploadLogin;
    std::string UploadPassword;
    std::vector<ReplaceRule> rules;
    std::int32_t DstDlActive = 0;
    std::int64_t DstDlFileSize = 0;  // 64-bit: distributed files are the big ones
    std::int32_t DstDlPartCount = 2;
    std::int64_t DstDlPartSize = 0;
    std::int32_t DstDlPartNo = 1;
    std::int32_t CEType = 0;  // 0 made locally, 10 arrived by e-mail
    std::string CEComeFrom;
    std::int32_t NestedDepth = 0;
    // Connections for one file; 0: the settings' default.
    std::int32_t Connections = 0;
};

// Copies the distributed-download part fields (DstDl...) of from into to.
void CopyPartFields(const UrlItem& from, UrlItem& to);

// 1990-01-01 00:00:00 local time: the "never downloaded" date.
std::time_t DefaultLastDownload();

// A fresh item that was not loaded from a file: everything zero or empty except EnableReplace 1,
// NestedDepth 1, DstDlPartNo 1, DstDlPartCount 2 and lastDL 1990-01-01.
UrlItem FreshItem();

// The bounds of the distributed-download fields (ClampItemRanges in model/item_fields.h).
inline constexpr std::int32_t kMaxParts = 1000;
inline constexpr std::int64_t kMaxPartBytes = std::int64_t{1} << 50;

// The date text of list files and exchange blocks ("2005.03.07"): year at character 0, month at
// character 5 when the text has at least 7 characters (else 1), day at character 8 when it has
// at least 10 (else 1). A date in range (year 1700..9999, month 1..12, day 1..31) gives that day
// at 00:00 local time; anything else gives now.
std::time_t ParseItemDate(std::string_view text, std::time_t now);

// "YYYY.MM.DD" of the local date of t.
std::string FormatItemDate(std::time_t t);

}  // namespace kov
