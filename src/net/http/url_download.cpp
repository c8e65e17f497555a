#include "net/http/url_download.h"

#include <fcntl.h>
#include <unistd.h>

#include "core/prompter.h"
#include "net/http/inet.h"
#include "net/transfer/transfer_job_util.h"
#include "platform/file_util.h"

namespace kov {

namespace {

// Tells the user why the URL cannot be opened.
void InformOpenFailure(const TransferJob& job, const std::string& url, int error,
                       const std::string& errorText) {
    if (!job.prompter) return;
    std::string message = url + "\r\nInternetOpenUrl ERROR " + std::to_string(error) + "!";
    if (error == kErrorInvalidUrl) message += "\r\n ERROR_INTERNET_INVALID_URL";
    if (error == kErrorUnrecognizedScheme) message += "\r\n INTERNET_UNRECOGNIZED_SCHEME";
    if (error == kErrorNameNotResolved) message += "\r\n INTERNET_NAME_NOT_RESOLVED";
    if (!errorText.empty()) message += "\r\n" + errorText;
    job.prompter->Inform(message);
}

// The stream into a new localPath.
int SaveStream(UrlStream& stream, const std::string& localPath, TransferJob& job) {
    if (!FolderOf(localPath).empty()) CreateFolders(FolderOf(localPath));
    const int fd = ::open(localPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return WriteFailure(job);
    TransferPump::ReadingSource source(
        [&](char* buffer, std::size_t count) { return stream.Read(buffer, count); });
    const TransferPump::Outcome moved = PumpOf(job).Run(source, fd, {-1, true, 0});
    int result = moved.result;
    if (moved.end == TransferPump::End::ReadFailed) {
        // Unlike a lost HTTP body, nothing here can be resumed: the file is not complete.
        job.errorText = stream.ErrorText();
        job.lastError = stream.ErrorCode();
    } else if (moved.end == TransferPump::End::WriteFailed) {
        result = WriteFailure(job, moved.error);
    }
    if (::close(fd) != 0 && result == kResultOk) result = WriteFailure(job);
    return result;
}

}  // namespace

int FetchByUrl(const std::string& url, const std::string& localPath, TransferJob& job,
               const std::string& userAgent) {
    job.errorText.clear();
    std::unique_ptr<InternetSession> own;
    InternetSession* session = job.session;
    if (!session) {
        own = InternetSession::Create(userAgent, AccessType::Preconfigured);
        session = own.get();
    }
    auto finish = [&](int code) {
        Post(job, kEventFileResult, code, job.lastError, url, localPath);
        return code;
    };
    if (!session) return finish(kResultNoConnection);
    session->SetStopFlag(job.stopRequest);

    int error = 0;
    std::string errorText;
    auto stream = session->OpenUrl(url, kRequestNoCache, &error, &errorText);
    if (!stream) {
        job.lastError = error;
        job.errorText = errorText;
        InformOpenFailure(job, url, error, errorText);
        return finish(kResultNoConnection);
    }
    Post(job, kEventFileStarted, 0, 0, url, localPath);
    return finish(SaveStream(*stream, localPath, job));
}

}  // namespace kov
