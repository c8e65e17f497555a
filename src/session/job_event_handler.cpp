#include "session/job_event_handler.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/display_format.h"
#include "core/message_table.h"
#include "net/transfer_events.h"
#include "session/event_log.h"

namespace kov {

namespace {

constexpr int kFtpTransferComplete = 226;

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0) {
        text.resize(static_cast<std::size_t>(length));
        std::vsnprintf(text.data(), text.size() + 1, format, args);
    }
    va_end(args);
    return text;
}

const char* Text(EventCode code) {
    return GetString(code).c_str();
}

// Where a table says %d, the value is shown as a 32-bit int.
int Int(std::int64_t value) {
    return static_cast<int>(value);
}

unsigned long long Count(std::int64_t value) {
    return static_cast<unsigned long long>(value);
}

std::uint64_t NonNegative(std::int64_t value) {
    return value > 0 ? static_cast<std::uint64_t>(value) : 0;
}

std::string Clock(std::uint64_t seconds) {
    return Format("%02d:%02d:%02d", Int(static_cast<std::int64_t>(seconds / 3600)),
                  Int(static_cast<std::int64_t>(seconds / 60 % 60)),
                  Int(static_cast<std::int64_t>(seconds % 60)));
}

class EventHandler {
public:
    EventHandler(const JobEvent& event, EventContext& context, Row* row)
        : m_event(event), m_context(context), m_row(row), m_name(row ? row->item.Name : "") {}

    EventOutcome Apply();

private:
    std::time_t Now() const { return m_context.now ? m_context.now() : std::time(nullptr); }
    const char* Name() const { return m_name.c_str(); }
    const char* Text1() const { return m_event.text1.c_str(); }
    const char* Text2() const { return m_event.text2.c_str(); }

    // Writes a line when LogDetail reaches minDetail (0: always).
    void Log(int minDetail, int image, const std::string& text, int fileFlag = 1) {
        if (!m_context.log) return;
        if (minDetail > 0 && (!m_context.settings || m_context.settings->LogDetail < minDetail))
            return;
        m_context.log->AddLine(text, fileFlag, image);
    }
    void ErrorSound() {
        if (m_context.playSound) m_context.playSound(kSoundError2);
    }
    void SetStatus(EventCode code) { m_row->columns[kColumnStatus] = GetString(code); }
    void ShowItemPlace() {
        m_row->columns[kColumnUrl] = m_row->item.Url;
        m_row->columns[kColumnDest] = m_row->item.Dest;
    }

    void CountBytes(std::uint64_t bytes);
    void Progress();
    void FileResult();
    // Returns false when the row was deleted.
    bool FinishOnceOnly();
    void RowError(EventCode status, EventCode text);

    const JobEvent& m_event;
    EventContext& m_context;
    Row* m_row;
    std::string m_name;
};

void EventHandler::CountBytes(std::uint64_t bytes) {
    if (m_context.stats) m_context.stats->sessionBytes += static_cast<double>(bytes);
    if (m_context.limitCounter && m_context.settings && m_context.settings->LimitTrace &&
        m_event.internet == 1) {
        m_context.limitCounter->fetch_add(bytes);
    }
}

void EventHandler::Progress() {
    Row& row = *m_row;
    auto& columns = row.columns;
    columns[kColumnStatus] = SizeText(row.filePos);
    if (row.fileSize != 0) columns[kColumnStatus] += " / " + SizeText(row.fileSize);

    const std::time_t now = Now();
    const std::uint64_t elapsed =
        now > row.jobStart ? static_cast<std::uint64_t>(now - row.jobStart) : 0;
    columns[kColumnTimePassed] = Clock(elapsed);
    if (row.linkCount != 0) {
        columns[kColumnTimePassed] += Format(" (%u/%u)", static_cast<unsigned>(row.linkIndex + 1),
                                             static_cast<unsigned>(row.linkCount));
    }
    if (elapsed > 0) {
        const std::uint64_t speed = row.jobBytes / elapsed;
        columns[kColumnSpeed] = SpeedText(speed);
        if (row.fileSize != 0 && speed > 0) {
            // A file that grew past its announced size has nothing left to wait for.
            const std::uint64_t left = row.fileSize > row.filePos ? row.fileSize - row.filePos : 0;
            columns[kColumnTimeRest] = Clock(left / speed);
        }
    }
}

void EventHandler::FileResult() {
    const auto& e = m_event;
    m_row->columns[kColumnSpeed].clear();
    Log(2, kLogSuccess,
        Format("[%s] - %s => %s result code: %d subcode:%d", Name(), Text1(), Text2(),
               Int(e.param1), Int(e.param2)));

    auto line = [&](EventCode code, const char* detail, int image) {
        Log(0, image, Format("[%s] - %s : %s", Name(), Text(code), detail));
    };
    switch (e.param1) {
        case kResultOk:
            Log(0, kLogSuccess, Format("[%s] - %s %s", Name(), Text(EventCode::DlFileOk), Text2()));
            break;
        case kResultRefused:
            line(EventCode::DlOpenResourceError, Text1(), kLogError);
            break;
        case kResultSkipped:
            line(EventCode::FileSkipped, Text2(), kLogSuccess);
            break;
        case kResultWrongType:
            line(EventCode::WrongContentType, Text1(), kLogError);
            break;
        case kResultStub:
            line(EventCode::DlFile404Deleted, Text2(), kLogSuccess);
            break;
        case kResultReadError:
            line(EventCode::ReadError, Text1(), kLogError);
            ErrorSound();
            break;
        case kResultWriteError:
            line(EventCode::WriteError, Text2(), kLogError);
            ErrorSound();
            break;
        case kResultDiskFull:
            line(EventCode::NoDiskSpace, Text2(), kLogError);
            ErrorSound();
            break;
        case kResultStopped:
            line(EventCode::AbortedByUser, Text1(), kLogStopped);
            break;
        case kResultLimit:
            Log(0, kLogStopped, Format("[%s] - %s", Name(), Text(EventCode::AbortedByLimit)));
            break;
        case kResultBroken:
            line(EventCode::ErrDownloadBroken, Text1(), kLogError);
            break;
        default:
            Log(0, kLogError,
                Format("[%s] - %s : %s, code: %d / %d", Name(), Text(EventCode::DownloadError),
                       Text1(), Int(e.param1), Int(e.param2)));
            ErrorSound();
            break;
    }
}

bool EventHandler::FinishOnceOnly() {
    Row& row = *m_row;
    if (row.jobBytes == 0 || row.item.interval != -1) return true;
    const RowId id = row.id;
    if (row.item.ID != UrlItem::kUpdateProgramId) {
        const bool edited = m_context.editedRow && m_context.editedRow() == id;
        const int action = m_context.settings ? m_context.settings->NotNeededAction : 0;
        if (action == 0 || edited) {
            row.item.Disabled = 1;
            row.image = kImageDisabled;
            return true;
        }
        Log(0, kLogDeleted, Format("[%s] -%s", Name(), Text(EventCode::ItemDeleted)));
    }
    m_row = nullptr;
    m_context.rows->Remove({id});
    return false;
}

void EventHandler::RowError(EventCode status, EventCode text) {
    SetStatus(status);
    m_row->image = kImageError;
    ErrorSound();
    Log(0, kLogInfo, Format("[%s] - %s: %s", Name(), Text(text), Text1()));
}

EventOutcome EventHandler::Apply() {
    const auto& e = m_event;
    const int code = e.code;
    const bool recount = code == kEventAddedToQueue || code == kEventJobStarted ||
                         code == kEventJobAborted || code == kEventJobCancelled ||
                         code == kEventJobFinished;
    const EventOutcome outcome = recount ? EventOutcome::Recount : EventOutcome::None;

    if (code == kEventMailSent) {
        Log(0, kLogMail,
            Format("Notification sending to %s : %s", Text1(), e.param1 != 0 ? "OK" : "ERROR"));
        return outcome;
    }
    if (!m_row) {
        if (code == kEventBlock) CountBytes(NonNegative(e.param1));
        return outcome;
    }

    Row& row = *m_row;
    bool changed = true;
    switch (code) {
        case kEventAddedToQueue:
            SetStatus(EventCode::AddedToQueue);
            row.image = kImageQueued;
            Log(1, kLogInfo, Format("[%s] - %s", Name(), Text(EventCode::AddedToQueue)));
            break;
        case kEventJobStarted:
            row.image = e.param1 != 0 ? kImageLocalJob : kImageRunning;
            SetStatus(EventCode::ItemStarted);
            row.runState = RunState::Running;
            row.fileSize = 0;
            row.jobBytes = 0;
            row.jobStart = Now();
            Log(2, kLogInfo, Format("[%s] - %s", Name(), Text(EventCode::ItemStarted)));
            break;
        case kEventConnecting:
            SetStatus(EventCode::ConnectingToHost);
            break;
        case kEventFileStarted:
            row.columns[kColumnUrl] = e.text1;
            row.columns[kColumnDest] = e.text2;
            row.filePos = 0;
            row.fileSize = NonNegative(e.param1);
            row.linkIndex = e.linkIndex;
            row.linkCount = e.linkCount;
            Log(1, kLogInfo,
                Format("[%s] - %s %s", Name(), Text(EventCode::DlFileStarted), Text1()));
            break;
        case kEventBlock: {
            const std::uint64_t bytes = NonNegative(e.param1);
            row.filePos += bytes;
            row.jobBytes += bytes;
            CountBytes(bytes);
            Progress();
            break;
        }
        case kEventResumed:
            row.filePos = NonNegative(e.param1);
            row.fileSize = NonNegative(e.param2);
            Log(1, kLogResumed,
                Format("[%s] - %s %s %llu", Name(), Text1(), Text(EventCode::DlFileResumed),
                       Count(e.param1)));
            break;
        case kEventFileResult:
            FileResult();
            break;
        case kEventRetry:
            SetStatus(EventCode::RetryOnTimeout);
            Log(1, kLogError, Format("[%s] - %s", Name(), Text(EventCode::RetryOnTimeout)));
            break;
        case kEventJobAborted:
            row.runState = RunState::Aborted;
            SetStatus(EventCode::JobAborted);
            row.image = kImageAborted;
            ShowItemPlace();
            Log(2, kLogStopped, Format("[%s] - %s", Name(), Text(EventCode::JobAborted)));
            break;
        case kEventJobCancelled:
            row.runState = RunState::Cancelled;
            SetStatus(EventCode::JobCanceled);
            ShowItemPlace();
            Log(1, kLogStopped, Format("[%s] - %s", Name(), Text(EventCode::JobCanceled)));
            break;
        case kEventJobFinished:
            SetStatus(EventCode::JobFinished);
            row.image = kImageFinished;
            row.item.lastDL = Now();
            row.runState = RunState::Finished;
            m_context.rows->SetModified(true);
            ShowItemPlace();
            Log(1, kLogSuccess, Format("[%s] - %s", Name(), Text(EventCode::JobFinished)));
            changed = FinishOnceOnly();
            break;
        case kEventParseStarted:
            Log(1, kLogInfo,
                Format("[%s] - %s %s", Name(), Text(EventCode::HtmlParseStarted), Text1()));
            changed = false;
            break;
        case kEventParseFinished:
            Log(1, kLogInfo,
                Format("[%s] - %s %s : %llu", Name(), Text1(), Text(EventCode::HtmlParseFinished),
                       Count(e.param1)));
            changed = false;
            break;
        case kEventReplaceDone: {
            const char* form = e.param2 == 0   ? "[%s] - %s - %s : %llu"
                               : e.param2 == 1 ? "[%s] - %s - (BanneRipper) %s : %llu"
                                               : "[%s] - %s - (SiteRipper) %s : %llu";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
            Log(1, kLogInfo,
                Format(form, Name(), Text1(), Text(EventCode::ReplaceDone), Count(e.param1)));
#pragma GCC diagnostic pop
            changed = false;
            break;
        }
        case kEventLinksStarted:
            Log(0, kLogSuccess,
                Format("[%s] - %s - %s ...", Name(), Text1(), Text(EventCode::LinkedDocsStarted)));
            changed = false;
            break;
        case kEventLinksFound:
            Log(0, kLogSuccess,
                Format("[%s] - %s - %s : %llu", Name(), Text1(), Text(EventCode::LinkedDocsFound),
                       Count(e.param1)));
            changed = false;
            break;
        case kEventCommandRun:
            SetStatus(EventCode::RunCmdCalled);
            Log(1, kLogSuccess,
                Format("[%s] - %s %d", Name(), Text(EventCode::RunCmdCalled), Int(e.param1)));
            break;
        case kEventMessage:
            Log(0, kLogInfo, Format("[%s] - %s, code:%d", Name(), Text1(), Int(e.param1)), 2);
            changed = false;
            break;
        case kEventUploadStarted:
            Log(0, kLogInfo,
                Format("[%s] - %s : %s -> %s", Name(), Text(EventCode::UploadStarted), Text1(),
                       Text2()));
            changed = false;
            break;
        case kEventUploadEnded:
            if (e.param1 == kFtpTransferComplete) {
                Log(0, kLogInfo,
                    Format("[%s] - %s %s", Name(), Text(EventCode::UploadDone), Text1()));
            } else {
                Log(0, kLogError,
                    Format("[%s] - %s %s, %s", Name(), Text(EventCode::UploadError), Text1(),
                           Text2()));
            }
            changed = false;
            break;
        case kEventCrossRefs:
            Log(0, kLogSuccess,
                Format("[%s] - %s (%d) %s ...", Name(), Text(EventCode::AdjustCrossRefStart),
                       Int(e.param1 + 1), Text1()));
            changed = false;
            break;
        case kEventUploadError:
            Log(0, kLogError,
                Format("[%s] - %s %s %s", Name(), Text(EventCode::UploadError), Text1(), Text2()));
            changed = false;
            break;
        case kEventStubDeleted:
            Log(0, kLogDeleted,
                Format("[%s] - %s : %s", Name(), Text(EventCode::DlFile404Deleted), Text1()));
            changed = false;
            break;
        case kEventSeriesAdvanced:
            row.item.CurrentNum = Int(e.param1);
            m_context.rows->SetModified(true);
            break;
        case kEventBrokenRetry:
        case kEventDistrNoResume:
        case kEventDistrFileChanged: {
            const EventCode text = code == kEventBrokenRetry     ? EventCode::ErrDownloadBroken
                                   : code == kEventDistrNoResume ? EventCode::DistrDlNoResume
                                                                 : EventCode::DistrDlFileChanged;
            Log(0, kLogError, Format("[%s] - %s %s", Name(), Text(text), Text1()));
            changed = false;
            break;
        }
        case kEventConnectionError:
            SetStatus(EventCode::Error);
            row.image = kImageError;
            Log(0, kLogInfo,
                Format("[%s] - %s: %d/%d, (%s)", Name(), Text(EventCode::ConnectingError),
                       Int(e.param1), Int(e.param2), Text1()));
            break;
        case kEventFtpNoFolder:
            RowError(EventCode::FtpFolderError, EventCode::FtpFolderError);
            break;
        case kEventFtpNoListing:
        case kEventFtpNotRetrieved:
            RowError(EventCode::Error, EventCode::FtpFileOpenError);
            break;
        case kEventMkDirError:
            RowError(EventCode::Error, EventCode::MkDirError);
            break;
        default:
            changed = false;
            break;
    }
    if (changed && m_row) m_context.rows->NotifyChanged(m_row->id);
    return outcome;
}

}  // namespace

EventOutcome HandleJobEvent(const JobEvent& event, EventContext& context) {
    Row* row = context.rows ? context.rows->Find(event.ownerKey) : nullptr;
    return EventHandler(event, context, row).Apply();
}

}  // namespace kov
