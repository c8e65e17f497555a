#pragma once

// Every code a job, a transfer or the session posts as an event, and every file result a
// transfer returns. One table, so that the sending side (engine, net) and the handling side
// (session) cannot drift apart; the message table maps them to texts.

namespace kov {

// Event codes (JobEvent::code).
enum EventCodeNumber : int {
    kEventAddedToQueue = 500,
    kEventJobStarted = 501,  // param1 isLocal
    kEventConnecting = 502,
    kEventFileStarted = 503,   // param1 expected size, param2 resume offset; URL / local path
    kEventBlock = 504,         // param1 block size, param2 expected size
    kEventResumed = 505,       // param1 resume offset, param2 expected size
    kEventFileResult = 506,    // param1 result, param2 last error; URL / local path
    kEventRetry = 508,         // URL / local path
    kEventJobAborted = 510,    // param1 row index
    kEventJobCancelled = 511,  // param1 row index
    kEventJobFinished = 512,   // param1 row index; param2 1 when it fetched or found up to date
    kEventMailSent = 513,
    kEventParseStarted = 515,
    kEventParseFinished = 516,
    kEventReplaceDone = 517,
    kEventLinksStarted = 518,
    kEventLinksFound = 519,
    kEventCommandRun = 520,     // param1 run result; text1 command line
    kEventMessage = 521,        // param1 1; text1 a diagnostic text
    kEventUploadStarted = 522,  // text1 local path, text2 server
    kEventUploadEnded = 523,    // param1 last reply code; text1 server, text2 reply text
    kEventCrossRefs = 524,
    kEventUploadError = 526,     // param1 last reply code; text1 server, text2 reply text
    kEventStubDeleted = 527,     // param1 921; text1 local path
    kEventSeriesAdvanced = 528,  // param1 new CurrentNum
    kEventBrokenRetry = 929,     // URL / local path
    kEventDistrNoResume = 930,
    kEventDistrFileChanged = 931,
    kEventConnectionError = 2080,   // param1 1 connect, 2 login, 3 proxy option
    kEventFtpResumeRefused = 2081,  // param1 offset, param2 size
    kEventFtpNoFolder = 2082,       // text1 folder
    kEventFtpNoListing = 2083,      // param1 reply code; text1 name
    kEventFtpNotRetrieved = 2084,
    kEventMkDirError = 2087,  // text1 folder
};

// File results of a transfer (0 is success, 2 nothing fetched).
enum FileResult : int {
    kResultOk = 0,
    kResultNothing = 2,
    kResultNoSession = 911,
    kResultUnsupported = 912,
    kResultLocalFolder = 913,
    kResultNotHttp = 914,
    kResultNoConnection = 915,
    kResultProxyPassword = 916,
    kResultClientError = 917,
    kResultRefused = 918,
    kResultSkipped = 919,
    kResultWrongType = 920,
    kResultStub = 921,
    kResultReadError = 922,
    kResultWriteError = 923,
    kResultDiskFull = 924,
    kResultBanned = 925,
    kResultStopped = 927,
    kResultLimit = 928,
    kResultBroken = 929,
    kResultNoPartSize = 930,
    kResultPartChanged = 931,
    kResultFtpNoFolder = 932,
    kResultFtpNoEntry = 933,
    kResultFtpNotRetrieved = 2084,
};

}  // namespace kov
