#include "core/settings/app_settings.h"

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <type_traits>
#include <variant>

#include "core/settings/profile_store.h"

namespace kov {

namespace {

enum class When { Always, NotEmpty, NonZero, Never };

// What a load makes of a stored number outside the range the preferences hold it to.
enum class Load {
    Keep,   // kept as stored
    Clamp,  // moved to the nearer end
    Floor,  // raised to the lower end; above the range it is kept
    Reset,  // the record's default
};

struct Range {
    std::int32_t min = 0;
    std::int32_t max = 0;
    Load load = Load::Keep;
};

// One key of a section: where it lives in the record, its capacity or range and when it is
// written. The one declaration that the load and the preferences read.
template <typename R>
struct Field {
    using Member = std::variant<std::string R::*, std::int32_t R::*, std::uint16_t R::*,
                                std::int16_t R::*, CalendarTime R::*>;
    const char* key;
    Member member;
    std::size_t capacity = 0;
    When when = When::Always;
    Range range = {};
};

template <typename R, typename V>
Field<R> Ranged(const char* key, V R::*member, std::int32_t min, std::int32_t max, Load load) {
    return {key, member, 0, When::Always, {min, max, load}};
}

constexpr std::int32_t kMaxInt = std::numeric_limits<std::int32_t>::max();
constexpr Load kClamp = Load::Clamp;

using F = Field<AppSettings>;
using A = AppSettings;

// KOV-Main in the order it is written.
const F kMainFields[] = {
    {"User-Agent", &A::UserAgent, 127},
    {"StdUserAgent", &A::StdUserAgent},
    {"FtpPasvMode", &A::FtpPasvMode},
    {"ProxyFromIE", &A::ProxyFromIE},
    {"Proxy", &A::Proxy},
    {"ProxyAddress", &A::ProxyAddress, 248},
    {"ProxyUser", &A::ProxyUser, 31, When::NotEmpty},
    {"ProxyPsw", &A::ProxyPsw, 31, When::NotEmpty},
    {"FtpProxy", &A::FtpProxy},
    {"FtpProxyAddress", &A::FtpProxyAddress, 248},
    {"FtpProxyUser", &A::FtpProxyUser, 30, When::NotEmpty},
    {"FtpProxyPsw", &A::FtpProxyPsw, 30, When::NotEmpty},
    Ranged("FtpProxyType", &A::FtpProxyType, 0, 9, Load::Keep),
    {"BypassProxyLocal", &A::BypassProxyLocal},
    {"SpeedLimited", &A::SpeedLimited},
    // KB/sec.
    Ranged("SpeedLimitInet", &A::SpeedLimitInet, 0, 1000000, Load::Floor),
    Ranged("SpeedLimitLoc", &A::SpeedLimitLoc, 0, 1000000, Load::Floor),
    {"LimitTrace", &A::LimitTrace},
    {"LimitSum", &A::LimitSum, 127},
    Ranged("MaxThreads", &A::MaxThreads, 1, 32, kClamp),
    {"AbortMode", &A::AbortMode},
    {"NoCache", &A::NoCache},
    {"DetectUrlTypes", &A::DetectUrlTypes},
    {"SaveOriginalNames", &A::SaveOriginalNames},
    {"DocModeFlags", &A::DocModeFlags},
    {"FileSubFolders", &A::FileSubFolders},
    {"DownloadFlags", &A::DownloadFlags},
    {"DownloadFlagsFull", &A::DownloadFlagsFull},
    {"SrFileMasks", &A::SrFileMasks, 254},
    {"EnableHttps", &A::EnableHttps},
    {"ModernHtml", &A::ModernHtml},
    {"Debug", &A::Debug},
    {"WriteLog", &A::WriteLog},
    Ranged("LogDetail", &A::LogDetail, 0, 2, kClamp),
    Ranged("MaxLogSize", &A::MaxLogSize, 0, 1 << 30, Load::Floor),
    {"UseSound", &A::UseSound},
    {"SoundStart", &A::SoundStart, 259},
    {"SoundEnd", &A::SoundEnd, 259},
    {"SoundErr1", &A::SoundErr1, 259},
    {"SoundErr2", &A::SoundErr2, 259},
    {"OnEndSession", &A::OnEndSession},
    {"NotNeededAction", &A::NotNeededAction},
    {"UseDialUp", &A::UseDialUp},
    {"RasMonitoring", &A::RasMonitoring},
    {"DialupItem", &A::DialupItem, 62, When::NotEmpty},
    {"Hangup", &A::Hangup},
    {"ReDialCount", &A::ReDialCount, 0, When::NonZero, {0, 32767, Load::Keep}},
    {"DialUser", &A::DialUser, 19, When::Never},
    {"DialPsw", &A::DialPsw, 19, When::Never},
    Ranged("ChkUpdInterval", &A::ChkUpdInterval, 0, 3650, kClamp),
    {"ChkUpdLastDate", &A::ChkUpdLastDate},
    {"UpdateUrl", &A::UpdateUrl, 254, When::NotEmpty},
    {"Language", &A::Language, 62},
    Ranged("CurLstNum", &A::CurLstNum, 0, kMaxInt, Load::Floor),
    {"WndLeft", &A::WndLeft},
    {"WndTop", &A::WndTop},
    {"WndWidth", &A::WndWidth},
    {"WndHeight", &A::WndHeight},
    {"WndSplitRow", &A::WndSplitRow},
    {"WndSplitCol", &A::WndSplitCol},
    {"WndStatus", &A::WndStatus, 0, When::Never},
    {"WndTopmost", &A::WndTopmost},
    {"ShowPaneLists", &A::ShowPaneLists},
    {"MinToTray", &A::MinToTray},
    Ranged("Transparency", &A::Transparency, 0, 250, kClamp),
    Ranged("Connections", &A::Connections, 1, kMaxConnections, kClamp),
};

using N = NewUrlDefaults;
const Field<N> kNewUrlFields[] = {
    {"Name", &N::Name, 126},
    {"Referer", &N::Referer, 126},
    {"LocalDir", &N::LocalDir, 258},
    {"Cmd", &N::Cmd, 258},
    {"PutNewToQueue", &N::PutNewToQueue},
    {"RipBanners", &N::RipBanners},
    {"WithLinks", &N::WithLinks},
    {"WithPics", &N::WithPics},
    {"ParseUrl", &N::ParseUrl},
    {"Disabled", &N::Disabled},
    Ranged("interval", &N::interval, -1, 365, kClamp),
    Ranged("nfsize", &N::nfsize, 0, 500000, kClamp),
    {"nfString", &N::nfString, 127},
    Ranged("StopNumber", &N::StopNumber, 0, kMaxInt - 1, kClamp),
    Ranged("Tolerance", &N::Tolerance, 0, 1000, Load::Reset),
    Ranged("dayShift", &N::dayShift, -365, 365, kClamp),
    Ranged("days", &N::days, 0, 365, kClamp),
    Ranged("UpdateMode", &N::UpdateMode, 0, 2, Load::Reset),
};

using E = EmailSettings;
const Field<E> kEmailFields[] = {
    {"MailBox", &E::MailBox, 31},
    {"MailBoxPsw", &E::MailBoxPsw, 31},
    {"MyEmailAddr", &E::MyEmailAddr, 61},
    {"Passphrase", &E::Passphrase, 31},
    {"Pop3Server", &E::Pop3Server, 79},
    {"SmtpServer", &E::SmtpServer, 79},
    {"SaveFolder", &E::SaveFolder, 259},
    Ranged("PollInterval", &E::PollInterval, 0, 7 * 24 * 60, kClamp),
    {"ActAsHost", &E::ActAsHost},
    {"PrimaryHost", &E::PrimaryHost},
    {"SmtpSecurity", &E::SmtpSecurity},
    {"Pop3Security", &E::Pop3Security},
    {"SmtpUser", &E::SmtpUser, 79},
    {"SmtpPsw", &E::SmtpPsw, 63},
    {"TlsCaFile", &E::TlsCaFile, 259},
};

// What queries received by mail may do.
const Field<E> kQueryPolicyFields[] = {
    {"QueryAllowCommand", &E::QueryAllowCommand},
    {"QueryAllowUpload", &E::QueryAllowUpload},
    {"QueryAllowLocal", &E::QueryAllowLocal},
    {"QueryOpenAccess", &E::QueryOpenAccess},
};

using R = RemoteSettings;
const Field<R> kRemoteFields[] = {
    {"Enabled", &R::Enabled},
    {"Address", &R::Address, RemoteSettings::kAddressCapacity},
    Ranged("Port", &R::Port, 1, 65535, Load::Reset),
    {"AllowCommands", &R::AllowCommands},
};

using T = ScheduleTask;
const Field<T> kTaskFields[] = {
    {"Task", &T::TaskName, ScheduleTask::kNameCapacity},
    {"ListName", &T::ListName, ScheduleTask::kNameCapacity},
    {"StartTime", &T::StartTime, ScheduleTask::kTimeCapacity},
    {"StopTime", &T::StopTime, ScheduleTask::kTimeCapacity},
    {"Days", &T::Days},
    {"Enabled", &T::Enabled},
    {"SpeedLimited", &T::SpeedLimited},
};

using H = EmailHost;
const Field<H> kHostFields[] = {
    {"HostEmail", &H::HostEmail, EmailHost::kEmailCapacity},
    {"HostPsw", &H::HostPsw, EmailHost::kPasswordCapacity},
    {"Enabled", &H::Enabled},
};

template <typename V>
void Bound(V& value, V def, const Range& r) {
    if (r.load == Load::Keep || (value >= r.min && value <= r.max)) return;
    if (r.load == Load::Reset) {
        value = def;
    } else if (value < r.min) {
        value = static_cast<V>(r.min);
    } else if (r.load == Load::Clamp) {
        value = static_cast<V>(r.max);
    }
}

// Reads the fields into record; a missing key leaves the record's value (its default).
// A numbered record (number > 0) reads "key<number>".
template <typename R, std::size_t K>
void ReadFields(const ProfileStore& store, const char* section, const Field<R> (&fields)[K],
                R& record, long number = 0) {
    for (const Field<R>& f : fields) {
        const std::string key = number > 0 ? ProfileStore::NumberedKey(f.key, number) : f.key;
        std::visit(
            [&](auto member) {
                auto& value = record.*member;
                using V = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<V, std::string>) {
                    value = store.GetString(section, key, value, f.capacity + 1);
                } else if constexpr (std::is_same_v<V, CalendarTime>) {
                    value = store.GetDateTime(section, key, value.year);
                } else {
                    // Narrow fields keep the low bits, as a 16-bit variable would.
                    const V def = value;
                    value = static_cast<V>(store.GetInt(section, key, value));
                    Bound(value, def, f.range);
                }
            },
            f.member);
    }
}

template <typename R, std::size_t K>
void WriteFields(ProfileStore& store, const char* section, const Field<R> (&fields)[K],
                 const R& record, long number = 0) {
    for (const Field<R>& f : fields) {
        const std::string key = number > 0 ? ProfileStore::NumberedKey(f.key, number) : f.key;
        std::visit(
            [&](auto member) {
                const auto& value = record.*member;
                using V = std::decay_t<decltype(value)>;
                if constexpr (std::is_same_v<V, std::string>) {
                    if (f.when == When::Always || (f.when == When::NotEmpty && !value.empty())) {
                        store.WriteString(section, key, value);
                    }
                } else if constexpr (std::is_same_v<V, CalendarTime>) {
                    if (f.when == When::Always) store.WriteDateTime(section, key, value);
                } else {
                    if (f.when == When::Always || (f.when == When::NonZero && value != 0)) {
                        store.WriteInt(section, key, value);
                    }
                }
            },
            f.member);
    }
}

std::string ColumnKey(int i) {
    return ProfileStore::NumberedKey("Column", i);
}

}  // namespace

namespace {

template <typename R, std::size_t K>
const Field<R>* FindField(const Field<R> (&fields)[K], std::string_view key) {
    for (const Field<R>& f : fields) {
        if (key == f.key) return &f;
    }
    return nullptr;
}

template <typename R>
SettingLimits LimitsOfField(const Field<R>* f) {
    if (!f) std::abort();
    return {f->capacity, f->range.min, f->range.max};
}

}  // namespace

SettingLimits LimitsOf(std::string_view section, std::string_view key) {
    if (section == kMainSection) return LimitsOfField(FindField(kMainFields, key));
    if (section == kNewUrlSection) return LimitsOfField(FindField(kNewUrlFields, key));
    if (section == kEmailSection) return LimitsOfField(FindField(kEmailFields, key));
    if (section == kRemoteSection) return LimitsOfField(FindField(kRemoteFields, key));
    std::abort();
}

std::string ListSectionName(unsigned number) {
    return "UrlList " + std::to_string(number);
}

void LoadSettings(const ProfileStore& store, AppSettings& settings,
                  const std::string& programFolder) {
    AppSettings s;
    s.email.SaveFolder = programFolder + "EmailQueries/";

    ReadFields(store, kMainSection, kMainFields, s);
    for (int i = 0; i < AppSettings::kColumnCount; ++i) {
        s.Column[i] = store.GetInt(kMainSection, ColumnKey(i), s.Column[i]);
    }

    ReadFields(store, kNewUrlSection, kNewUrlFields, s.newUrl);

    for (unsigned i = 1; i <= kMaxLists; ++i) {
        const std::string section = ListSectionName(i);
        ListRecord list;
        list.Name = store.GetString(section, "Name", "", ListRecord::kNameCapacity + 1);
        list.FileName = store.GetString(section, "FileName", "", ListRecord::kPathCapacity + 1);
        if (list.Name.empty() || list.FileName.empty()) break;
        list.SaveFolder = store.GetString(section, "SaveFolder", "", ListRecord::kPathCapacity + 1);
        s.lists.push_back(std::move(list));
    }

    s.schedule.Enabled = store.GetInt(kScheduleSection, "Enabled", 0);
    s.schedule.NewTaskStopsCurrent = store.GetInt(kScheduleSection, "NewTaskStopsCurrent", 0);
    for (long n = 1;; ++n) {
        ScheduleTask task;
        ReadFields(store, kScheduleSection, kTaskFields, task, n);
        if (task.TaskName.empty() && task.ListName.empty()) break;
        task.Days &= 0x7F;
        s.schedule.tasks.push_back(std::move(task));
    }

    ReadFields(store, kEmailSection, kEmailFields, s.email);
    ReadFields(store, kEmailSection, kQueryPolicyFields, s.email);
    for (long n = 1; n <= static_cast<long>(EmailSettings::kMaxHosts); ++n) {
        EmailHost host;
        ReadFields(store, kEmailSection, kHostFields, host, n);
        if (host.HostEmail.empty()) break;
        s.email.hosts.push_back(std::move(host));
    }
    ReadFields(store, kRemoteSection, kRemoteFields, s.remote);
    if (s.remote.Address.empty()) s.remote.Address = RemoteSettings{}.Address;

    settings = std::move(s);
}

bool SaveSettings(ProfileStore& store, const AppSettings& s) {
    if (!store.IsOpen()) return false;
    store.Clear();
    WriteFields(store, kMainSection, kMainFields, s);
    for (int i = 0; i < AppSettings::kColumnCount; ++i) {
        store.WriteInt(kMainSection, ColumnKey(i), s.Column[i]);
    }

    const std::size_t lists = std::min<std::size_t>(s.lists.size(), kMaxLists);
    for (std::size_t i = 0; i < lists; ++i) {
        const std::string section = ListSectionName(static_cast<unsigned>(i + 1));
        store.WriteString(section, "Name", s.lists[i].Name);
        store.WriteString(section, "FileName", s.lists[i].FileName);
        store.WriteString(section, "SaveFolder", s.lists[i].SaveFolder);
    }

    WriteFields(store, kNewUrlSection, kNewUrlFields, s.newUrl);

    store.WriteInt(kScheduleSection, "Enabled", s.schedule.Enabled);
    store.WriteInt(kScheduleSection, "NewTaskStopsCurrent", s.schedule.NewTaskStopsCurrent);
    // Loading stops at the first task without names, so such a task is not written: it would
    // hide every task after it.
    long number = 0;
    for (const ScheduleTask& task : s.schedule.tasks) {
        if (task.TaskName.empty() && task.ListName.empty()) continue;
        WriteFields(store, kScheduleSection, kTaskFields, task, ++number);
    }

    WriteFields(store, kEmailSection, kEmailFields, s.email);
    WriteFields(store, kEmailSection, kQueryPolicyFields, s.email);
    // Likewise a host without an address would end the host table early.
    number = 0;
    for (const EmailHost& host : s.email.hosts) {
        if (host.HostEmail.empty()) continue;
        if (number == static_cast<long>(EmailSettings::kMaxHosts)) break;
        WriteFields(store, kEmailSection, kHostFields, host, ++number);
    }
    WriteFields(store, kRemoteSection, kRemoteFields, s.remote);
    return true;
}

bool WriteColumnWidths(ProfileStore& store, const AppSettings& settings) {
    bool ok = true;
    for (int i = 0; i < 7; ++i)
        ok = store.WriteInt(kMainSection, ColumnKey(i), settings.Column[i]) && ok;
    return ok;
}

}  // namespace kov
