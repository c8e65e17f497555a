#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>

#include "core/event_codes.h"
#include "core/settings/app_settings.h"
#include "net/http/inet.h"
#include "net/transfer/resource_info.h"

namespace kov {

// Prober errors besides HTTP statuses.
enum ProbeError : int {
    kProbeUnsupported = kResultUnsupported,    // no connection, or a scheme it does not know
    kProbeNoConnection = kResultNoConnection,  // the FTP server cannot be reached
    kProbeNoFolder = kResultFtpNoFolder,       // the FTP folder does not exist
    kProbeNoEntry = kResultFtpNoEntry,         // the FTP listing has no such file
    kProbeTooManyRedirects = 310,
};

// Learns what a server offers for a URL before it is fetched: size, type, time, the name a
// server gives it, and where redirects lead. It has an Internet session of its own, made on
// first use with the prober's user agent.
class ResourceProber {
public:
    // FTP addresses are probed by this function (ProbeFtp unless replaced); it returns the
    // flags and sets error on failure.
    using FtpProbe =
        std::function<unsigned(const std::string& url, ResourceInfo& info, const std::string& user,
                               const std::string& password, int& error, std::string& errorText)>;

    // settings must outlive the prober.
    explicit ResourceProber(const AppSettings& settings);
    // The FTP probe refers to the prober's own stop flag.
    ResourceProber(const ResourceProber&) = delete;
    ResourceProber& operator=(const ResourceProber&) = delete;

    void SetFtpProbe(FtpProbe probe) { m_ftpProbe = std::move(probe); }
    void SetReferer(std::string referer) { m_referer = std::move(referer); }
    // A stop request for the probes: at 2 or more a probe ends within a fraction of a
    // second. Set it before the first probe; the flag must outlive the prober.
    void SetStopFlag(const std::atomic<int>* flag) { m_stop = flag; }

    // Fills info and returns its flags; 0 on failure (Error() and ErrorText() say why).
    unsigned Probe(const std::string& url, ResourceInfo& info, const std::string& user,
                   const std::string& password);

    int Error() const { return m_error; }
    const std::string& ErrorText() const { return m_errorText; }
    // The last probe followed at least one redirect (info.finalUrl holds the target).
    bool Redirected() const { return m_redirected; }

    static constexpr int kMaxRedirects = 20;

private:
    unsigned ProbeHttp(const std::string& url, ResourceInfo& info, const std::string& user,
                       const std::string& password);
    unsigned ProbeFile(const std::string& path, ResourceInfo& info);
    InternetSession* Session();

    const AppSettings& m_settings;
    std::unique_ptr<InternetSession> m_session;
    FtpProbe m_ftpProbe;
    std::string m_referer;
    const std::atomic<int>* m_stop = nullptr;
    int m_error = 0;
    std::string m_errorText;
    bool m_redirected = false;
};

}  // namespace kov
