#include "session/job_event_handler.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "core/file_result_class.h"
#include "core/language/message_table.h"
#include "core/text/display_format.h"
#include "net/transfer/transfer_events.h"
#include "session/event_log.h"

namespace kov {

namespace {

constexpr int kFtpTransferComplete = 226;

__attribute__((format(printf, 1, 2))) std::string Format(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    // Most lines fit the buffer: one pass over the format instead of two.
    char buffer[512];
    const int length = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    std::string text;
    if (length > 0 && static_cast<std::size_t>(length) < sizeof buffer) {
        text.assign(buffer, static_cast<std::size_t>(length));
    } else if (length > 0) {
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

// Who a log line is for: written when LogDetail reaches the level.
enum LogDetailLevel : int { kAlways = 0, kDetailed = 1, kDebug = 2 };
// Lines that go to the log file even where a plain line would not.
constexpr int kFileAlways = 2;

// What one step made of an event.
enum class Step { NotMine, RowUnchanged, RowChanged };

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

    // Whether a line of the level is written at all: callers make the text only then, as
    // most levels are off and a session of small files sends several events per file.
    bool Logs(int minDetail) const {
        return m_context.log &&
               (minDetail == kAlways ||
                (m_context.settings && m_context.settings->LogDetail >= minDetail));
    }
    void Log(int minDetail, int image, const std::string& text, int fileFlag = 1) {
        if (Logs(minDetail)) m_context.log->AddLine(text, fileFlag, image);
    }
    // "[name] - text of code"
    void LogItem(int minDetail, int image, EventCode code) {
        if (Logs(minDetail)) Log(minDetail, image, Format("[%s] - %s", Name(), Text(code)));
    }
    // A failure's line ends with its cause in parentheses, when the job knew one.
    std::string WithCause(std::string line) const {
        if (!m_event.cause.empty()) line += " (" + m_event.cause + ")";
        return line;
    }
    // Tells who follows the rows' outcomes what failed and why.
    void NoteFailure(const std::string& text) const {
        if (m_row && m_context.rowFailed) m_context.rowFailed(m_row->id, text, m_event.cause);
    }
    void ErrorSound() {
        if (m_context.playSound) m_context.playSound(kSoundError2);
    }
    void SetStatus(EventCode code) { m_row->columns[kColumnStatus] = GetString(code); }
    void ShowItemPlace() {
        m_row->columns[kColumnUrl] = m_row->item.Url;
        m_row->columns[kColumnDest] = m_row->item.Dest;
    }
    void CountSessionBytes(std::uint64_t bytes) {
        if (m_context.stats) m_context.stats->sessionBytes += static_cast<double>(bytes);
    }

    // The steps of Apply, one per kind of event.
    Step FollowJobState();
    Step FollowTransfer();
    Step MarkRowFailure();
    Step ReportPageSteps();
    Step ReportActionSteps();

    void ShowProgress();
    void LogFileResult();
    // Returns false when the row was deleted.
    bool FinishOnceOnly();
    void RowError(EventCode status, EventCode text);

    const JobEvent& m_event;
    EventContext& m_context;
    Row* m_row;
    std::string m_name;
};

void EventHandler::ShowProgress() {
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

void EventHandler::LogFileResult() {
    const auto& e = m_event;
    if (Logs(kDebug)) {
        Log(kDebug, kLogSuccess,
            Format("[%s] - %s => %s result code: %d subcode:%d", Name(), Text1(), Text2(),
                   Int(e.param1), Int(e.param2)));
    }

    auto line = [&](EventCode code, const char* detail, int image) {
        Log(kAlways, image, Format("[%s] - %s : %s", Name(), Text(code), detail));
    };
    // A failed file marks its row, and the row keeps the mark when the job ends; an expected
    // outcome keeps its text but is information.
    const bool expected =
        ClassifyFileResult(e.param1, e.param2, m_row->item.NumBased != 0) == ResultClass::Expected;
    auto failure = [&](EventCode code, const char* detail) {
        if (!expected) {
            m_row->image = kImageError;
            NoteFailure(Format("%s : %s", Text(code), detail));
        }
        Log(kAlways, expected ? kLogInfo : kLogError,
            WithCause(Format("[%s] - %s : %s", Name(), Text(code), detail)));
    };
    switch (e.param1) {
        case kResultOk:
            Log(kAlways, kLogSuccess,
                Format("[%s] - %s %s", Name(), Text(EventCode::DlFileOk), Text2()));
            break;
        case kResultRefused:
            failure(EventCode::DlOpenResourceError, Text1());
            break;
        case kResultSkipped:
            line(EventCode::FileSkipped, Text2(), kLogSuccess);
            break;
        case kResultWrongType:
            failure(EventCode::WrongContentType, Text1());
            break;
        case kResultStub:
            line(EventCode::DlFile404Deleted, Text2(), kLogSuccess);
            break;
        case kResultReadError:
            failure(EventCode::ReadError, Text1());
            ErrorSound();
            break;
        case kResultWriteError:
            failure(EventCode::WriteError, Text2());
            ErrorSound();
            break;
        case kResultDiskFull:
            failure(EventCode::NoDiskSpace, Text2());
            ErrorSound();
            break;
        case kResultStopped:
            line(EventCode::AbortedByUser, Text1(), kLogStopped);
            break;
        case kResultLimit:
            LogItem(kAlways, kLogStopped, EventCode::AbortedByLimit);
            break;
        case kResultBroken:
            failure(EventCode::ErrDownloadBroken, Text1());
            break;
        case kResultNoPartSize:
        case kResultPartChanged:
            // The portion's own event (930, 931) has said why.
            m_row->image = kImageError;
            ErrorSound();
            break;
        default:
            if (!expected) {
                m_row->image = kImageError;
                NoteFailure(Format("%s : %s", Text(EventCode::DownloadError), Text1()));
            }
            Log(kAlways, expected ? kLogInfo : kLogError,
                WithCause(Format("[%s] - %s : %s, code: %d / %d", Name(),
                                 Text(EventCode::DownloadError), Text1(), Int(e.param1),
                                 Int(e.param2))));
            if (!expected) ErrorSound();
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
        Log(kAlways, kLogDeleted, Format("[%s] -%s", Name(), Text(EventCode::ItemDeleted)));
    }
    m_row = nullptr;
    m_context.rows->Remove({id});
    return false;
}

void EventHandler::RowError(EventCode status, EventCode text) {
    SetStatus(status);
    m_row->image = kImageError;
    NoteFailure(Format("%s: %s", Text(text), Text1()));
    ErrorSound();
    Log(kAlways, kLogError, WithCause(Format("[%s] - %s: %s", Name(), Text(text), Text1())));
}

// Queued, started, aborted, cancelled, finished.
Step EventHandler::FollowJobState() {
    Row& row = *m_row;
    switch (m_event.code) {
        case kEventAddedToQueue:
            SetStatus(EventCode::AddedToQueue);
            row.image = kImageQueued;
            LogItem(kDetailed, kLogInfo, EventCode::AddedToQueue);
            return Step::RowChanged;
        case kEventJobStarted:
            row.image = m_event.param1 != 0 ? kImageLocalJob : kImageRunning;
            SetStatus(EventCode::ItemStarted);
            row.runState = RunState::Running;
            row.fileSize = 0;
            row.jobBytes = 0;
            row.jobStart = Now();
            LogItem(kDebug, kLogInfo, EventCode::ItemStarted);
            return Step::RowChanged;
        case kEventJobAborted:
            row.runState = RunState::Aborted;
            SetStatus(EventCode::JobAborted);
            row.image = kImageAborted;
            ShowItemPlace();
            LogItem(kDebug, kLogStopped, EventCode::JobAborted);
            return Step::RowChanged;
        case kEventJobCancelled:
            row.runState = RunState::Cancelled;
            SetStatus(EventCode::JobCanceled);
            ShowItemPlace();
            LogItem(kDetailed, kLogStopped, EventCode::JobCanceled);
            return Step::RowChanged;
        case kEventJobFinished: {
            // A job whose file or connection failed ends as an error, not as a success.
            const bool failed = row.image == kImageError;
            SetStatus(failed ? EventCode::Error : EventCode::JobFinished);
            row.image = failed ? kImageError : kImageFinished;
            // param2: the job fetched something or found it up to date.
            if (m_event.param2 != 0) row.item.lastDL = Now();
            row.runState = RunState::Finished;
            m_context.rows->SetModified(true);
            ShowItemPlace();
            LogItem(kDetailed, kLogSuccess, EventCode::JobFinished);
            return FinishOnceOnly() ? Step::RowChanged : Step::RowUnchanged;
        }
        default:
            return Step::NotMine;
    }
}

// One file's way: connecting, started, bytes, resumed, result, retry, the next series number.
Step EventHandler::FollowTransfer() {
    Row& row = *m_row;
    const auto& e = m_event;
    switch (e.code) {
        case kEventConnecting:
            SetStatus(EventCode::ConnectingToHost);
            return Step::RowChanged;
        case kEventFileStarted:
            row.columns[kColumnUrl] = e.text1;
            row.columns[kColumnDest] = e.text2;
            row.filePos = 0;
            row.fileSize = NonNegative(e.param1);
            row.linkIndex = e.linkIndex;
            row.linkCount = e.linkCount;
            if (Logs(kDetailed)) {
                Log(kDetailed, kLogInfo,
                    Format("[%s] - %s %s", Name(), Text(EventCode::DlFileStarted), Text1()));
            }
            return Step::RowChanged;
        case kEventBlock: {
            const std::uint64_t bytes = NonNegative(e.param1);
            row.filePos += bytes;
            row.jobBytes += bytes;
            CountSessionBytes(bytes);
            ShowProgress();
            return Step::RowChanged;
        }
        case kEventResumed:
            row.filePos = NonNegative(e.param1);
            row.fileSize = NonNegative(e.param2);
            if (Logs(kDetailed)) {
                Log(kDetailed, kLogResumed,
                    Format("[%s] - %s %s %llu", Name(), Text1(), Text(EventCode::DlFileResumed),
                           Count(e.param1)));
            }
            return Step::RowChanged;
        case kEventFileResult:
            row.columns[kColumnSpeed].clear();
            LogFileResult();
            return Step::RowChanged;
        case kEventRetry:
            SetStatus(EventCode::RetryOnTimeout);
            LogItem(kDetailed, kLogError, EventCode::RetryOnTimeout);
            return Step::RowChanged;
        case kEventSeriesAdvanced:
            row.item.CurrentNum = Int(e.param1);
            m_context.rows->SetModified(true);
            return Step::RowChanged;
        default:
            return Step::NotMine;
    }
}

// Connection, FTP and folder errors mark the row.
Step EventHandler::MarkRowFailure() {
    const auto& e = m_event;
    switch (e.code) {
        case kEventConnectionError:
            SetStatus(EventCode::Error);
            m_row->image = kImageError;
            NoteFailure(Format("%s: %d/%d, (%s)", Text(EventCode::ConnectingError), Int(e.param1),
                               Int(e.param2), Text1()));
            Log(kAlways, kLogError,
                Format("[%s] - %s: %d/%d, (%s)", Name(), Text(EventCode::ConnectingError),
                       Int(e.param1), Int(e.param2), Text1()));
            return Step::RowChanged;
        case kEventFtpNoFolder:
            RowError(EventCode::FtpFolderError, EventCode::FtpFolderError);
            return Step::RowChanged;
        case kEventFtpNoListing:
        case kEventFtpNotRetrieved:
            RowError(EventCode::Error, EventCode::FtpFileOpenError);
            return Step::RowChanged;
        case kEventMkDirError:
            RowError(EventCode::Error, EventCode::MkDirError);
            return Step::RowChanged;
        default:
            return Step::NotMine;
    }
}

// What happens to a delivered page: parsing, replacing, its links, the cross references.
Step EventHandler::ReportPageSteps() {
    const auto& e = m_event;
    switch (e.code) {
        case kEventParseStarted:
            if (Logs(kDetailed)) {
                Log(kDetailed, kLogInfo,
                    Format("[%s] - %s %s", Name(), Text(EventCode::HtmlParseStarted), Text1()));
            }
            return Step::RowUnchanged;
        case kEventParseFinished:
            if (Logs(kDetailed)) {
                Log(kDetailed, kLogInfo,
                    Format("[%s] - %s %s : %llu", Name(), Text1(),
                           Text(EventCode::HtmlParseFinished), Count(e.param1)));
            }
            return Step::RowUnchanged;
        case kEventReplaceDone: {
            const char* form = e.param2 == 0   ? "[%s] - %s - %s : %llu"
                               : e.param2 == 1 ? "[%s] - %s - (BanneRipper) %s : %llu"
                                               : "[%s] - %s - (SiteRipper) %s : %llu";
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
            if (Logs(kDetailed)) {
                Log(kDetailed, kLogInfo,
                    Format(form, Name(), Text1(), Text(EventCode::ReplaceDone), Count(e.param1)));
            }
#pragma GCC diagnostic pop
            return Step::RowUnchanged;
        }
        case kEventLinksStarted:
            Log(kAlways, kLogSuccess,
                Format("[%s] - %s - %s ...", Name(), Text1(), Text(EventCode::LinkedDocsStarted)));
            return Step::RowUnchanged;
        case kEventLinksFound:
            Log(kAlways, kLogSuccess,
                Format("[%s] - %s - %s : %llu", Name(), Text1(), Text(EventCode::LinkedDocsFound),
                       Count(e.param1)));
            return Step::RowUnchanged;
        case kEventCrossRefs:
            Log(kAlways, kLogSuccess,
                Format("[%s] - %s (%d) %s ...", Name(), Text(EventCode::AdjustCrossRefStart),
                       Int(e.param1 + 1), Text1()));
            return Step::RowUnchanged;
        case kEventStubDeleted:
            Log(kAlways, kLogDeleted,
                Format("[%s] - %s : %s", Name(), Text(EventCode::DlFile404Deleted), Text1()));
            return Step::RowUnchanged;
        default:
            return Step::NotMine;
    }
}

// What happens after a file (the command, the upload) and the transfer notices that only
// write a line.
Step EventHandler::ReportActionSteps() {
    const auto& e = m_event;
    switch (e.code) {
        case kEventCommandRun:
            SetStatus(EventCode::RunCmdCalled);
            if (Logs(kDetailed)) {
                Log(kDetailed, kLogSuccess,
                    Format("[%s] - %s %d", Name(), Text(EventCode::RunCmdCalled), Int(e.param1)));
            }
            return Step::RowChanged;
        case kEventMessage:
            Log(kAlways, kLogInfo, Format("[%s] - %s, code:%d", Name(), Text1(), Int(e.param1)),
                kFileAlways);
            return Step::RowUnchanged;
        case kEventUploadStarted:
            Log(kAlways, kLogInfo,
                Format("[%s] - %s : %s -> %s", Name(), Text(EventCode::UploadStarted), Text1(),
                       Text2()));
            return Step::RowUnchanged;
        case kEventUploadEnded:
            if (e.param1 == kFtpTransferComplete) {
                Log(kAlways, kLogInfo,
                    Format("[%s] - %s %s", Name(), Text(EventCode::UploadDone), Text1()));
            } else {
                Log(kAlways, kLogError,
                    Format("[%s] - %s %s, %s", Name(), Text(EventCode::UploadError), Text1(),
                           Text2()));
            }
            return Step::RowUnchanged;
        case kEventUploadError:
            Log(kAlways, kLogError,
                Format("[%s] - %s %s %s", Name(), Text(EventCode::UploadError), Text1(), Text2()));
            return Step::RowUnchanged;
        case kEventBrokenRetry:
        case kEventDistrNoResume:
        case kEventDistrFileChanged: {
            const EventCode text = e.code == kEventBrokenRetry     ? EventCode::ErrDownloadBroken
                                   : e.code == kEventDistrNoResume ? EventCode::DistrDlNoResume
                                                                   : EventCode::DistrDlFileChanged;
            Log(kAlways, kLogError, Format("[%s] - %s %s", Name(), Text(text), Text1()));
            return Step::RowUnchanged;
        }
        default:
            return Step::NotMine;
    }
}

bool ChangesJobState(int code) {
    return code == kEventAddedToQueue || code == kEventJobStarted || code == kEventJobAborted ||
           code == kEventJobCancelled || code == kEventJobFinished;
}

EventOutcome EventHandler::Apply() {
    const EventOutcome outcome =
        ChangesJobState(m_event.code) ? EventOutcome::Recount : EventOutcome::None;
    if (m_event.code == kEventMailSent) {
        Log(kAlways, kLogMail,
            WithCause(Format("Notification sending to %s : %s", Text1(),
                             m_event.param1 != 0 ? "OK" : "ERROR")));
        return outcome;
    }
    if (!m_row) {
        // The row was deleted meanwhile: its bytes still belong to the session.
        if (m_event.code == kEventBlock) CountSessionBytes(NonNegative(m_event.param1));
        return outcome;
    }
    Step step = FollowJobState();
    if (step == Step::NotMine) step = FollowTransfer();
    if (step == Step::NotMine) step = MarkRowFailure();
    if (step == Step::NotMine) step = ReportPageSteps();
    if (step == Step::NotMine) step = ReportActionSteps();
    if (step == Step::RowChanged && m_row) m_context.rows->NotifyChanged(m_row->id);
    return outcome;
}

}  // namespace

EventOutcome HandleJobEvent(const JobEvent& event, EventContext& context) {
    Row* row = context.rows ? context.rows->Find(event.ownerKey) : nullptr;
    return EventHandler(event, context, row).Apply();
}

}  // namespace kov
