#include "net/transfer/resource_prober.h"

#include "core/text/text_util.h"
#include "model/url_parts.h"
#include "net/ftp/ftp_probe.h"
#include "net/http/response_headers.h"
#include "net/transfer/proxy_settings.h"
#include "platform/file_util.h"

namespace kov {

ResourceProber::ResourceProber(const AppSettings& settings)
    : m_settings(settings),
      m_ftpProbe([this](const std::string& url, ResourceInfo& info, const std::string& user,
                        const std::string& password, int& error, std::string& errorText) {
          return ProbeFtp(url, info, user, password, error, errorText, m_stop);
      }) {}

InternetSession* ResourceProber::Session() {
    if (!m_session) {
        const AccessChoice access = ChooseProberAccess(m_settings);
        m_session = InternetSession::Create(kProberUserAgent, access.access, access.proxyName);
        if (!m_session) return nullptr;
        if (m_stop) m_session->SetStopFlag(m_stop);
        if (!access.proxyUser.empty() || !access.proxyPassword.empty()) {
            m_session->SetProxyCredentials(access.proxyUser, access.proxyPassword);
        }
        // An offline switch left by another program must not block downloads.
        SetConnectedState(true);
    }
    return m_session.get();
}

unsigned ResourceProber::Probe(const std::string& url, ResourceInfo& info, const std::string& user,
                               const std::string& password) {
    m_error = 0;
    m_errorText.clear();
    m_redirected = false;
    UrlParts parts;
    if (!SplitUrl(url, parts, false)) {
        m_error = kProbeUnsupported;
        return 0;
    }
    if (parts.scheme == "http" || (parts.scheme == "https" && m_settings.EnableHttps)) {
        return ProbeHttp(url, info, user, password);
    }
    if (parts.scheme == "file") return ProbeFile(parts.object, info);
    if (parts.scheme == "ftp" && m_ftpProbe) {
        const unsigned flags = m_ftpProbe(url, info, user, password, m_error, m_errorText);
        if (flags) info.status = 200;
        return flags;
    }
    m_error = kProbeUnsupported;
    return 0;
}

unsigned ResourceProber::ProbeHttp(const std::string& url, ResourceInfo& info,
                                   const std::string& user, const std::string& password) {
    InternetSession* session = Session();
    if (!session) {
        m_error = kProbeUnsupported;
        return 0;
    }
    std::string current = url;
    std::string origin;  // the credentials go only where they were given for
    for (int hop = 0;; ++hop) {
        if (hop > kMaxRedirects) {
            // A redirect cycle ends here instead of running for ever.
            m_error = kProbeTooManyRedirects;
            m_errorText = "too many redirects";
            return 0;
        }
        UrlParts parts;
        // A redirect off the web sends nothing anywhere.
        if (!SplitUrl(current, parts, false) ||
            !(parts.scheme == "http" || (parts.scheme == "https" && m_settings.EnableHttps))) {
            m_error = kProbeUnsupported;
            return 0;
        }
        const std::string here =
            parts.scheme + "://" + ToLowerAscii(parts.host) + ":" +
            std::to_string(parts.port ? parts.port : DefaultPort(parts.scheme));
        if (hop == 0) origin = here;
        const bool own = here == origin;
        auto connection = session->GetHttpConnection(parts.host, parts.port, own ? user : "",
                                                     own ? password : "", parts.scheme == "https");
        if (!connection) {
            m_error = kProbeUnsupported;
            return 0;
        }
        auto request = connection->OpenRequest(
            parts.object.empty() ? "/" : parts.object, m_referer,
            kRequestNoRedirect | (m_settings.NoCache ? kRequestNoCache : 0u));
        if (!request || !request->Send()) {
            m_error = kStatusClientError;
            m_errorText = request ? request->ErrorText() : "cannot open the request";
            info.status = kStatusClientError;
            return 0;
        }
        info.status = request->StatusCode();
        if (info.status == 200) {
            const std::string target = info.finalUrl;
            const bool redirected = m_redirected;
            const unsigned flags = ParseResponseHeaders(request->RawHeaders(), info, true);
            // The response's own Location (rare on a 200) must not hide where we came from.
            if (redirected) {
                info.finalUrl = target;
                info.flags |= kHasLocation;
            }
            return info.flags ? info.flags : flags;
        }
        if (info.status >= 301 && info.status <= 307) {
            ResourceInfo hop;
            ParseResponseHeaders(request->RawHeaders(), hop, true);
            if (hop.flags & kHasLocation) {
                auto next = CombineUrl(current, hop.finalUrl);
                if (!next) {
                    m_error = info.status;
                    return 0;
                }
                current = *next;
                info.finalUrl = CapText(current, ResourceInfo::kUrlCapacity);
                info.flags |= kHasLocation;
                m_redirected = true;
                continue;
            }
        }
        m_error = info.status;
        return 0;
    }
}

unsigned ResourceProber::ProbeFile(const std::string& path, ResourceInfo& info) {
    info.contentType = "--";
    info.isHtml = 0;
    info.acceptRanges = 1;
    const auto size = FileSize(path);
    const auto time = LastWriteTime(path);
    if (!size || !time) {
        info.size = 0;
        info.category = -1;
        info.flags = 0;
        info.status = 404;
        m_error = 918;
        return 0;
    }
    info.size = static_cast<std::uint64_t>(*size);
    info.lastModified = *time - (*time % 2);
    info.category = -1;
    info.flags = kHasLength | kHasLastModified;
    info.status = 200;
    return info.flags;
}

}  // namespace kov
