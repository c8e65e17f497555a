#pragma once

#include <string>
#include <string_view>

#include "support/server_process.h"
#include "support/temp_dir.h"

namespace kov::test {

// nginx on 127.0.0.1 with its configuration, logs and document root in a temp folder.
// Static files get byte ranges and Last-Modified; "/redirect" answers 302 to "/files/a.txt";
// a missing file is 404.
class NginxServer {
public:
    NginxServer();

    static bool Available();

    // Before Start: a location block written into the server block as is, for example
    // "location /slow { limit_rate 1k; }".
    void AddLocation(std::string block) { m_extra += block + "\n"; }
    // Before Start: a directive of the http block, for example a limit_req_zone.
    void AddHttpDirective(std::string directive) { m_httpExtra += "  " + directive + "\n"; }
    // Before Start: serve https with this certificate and key (PEM files).
    void UseTls(std::string certificate, std::string key);
    // Before Start, with UseTls: offer HTTP/2 as well (ALPN).
    void OfferHttp2() { m_http2 = true; }
    // Writes content into DocRoot()/relativePath, creating folders. False on failure.
    bool WriteFile(std::string_view relativePath, std::string_view content) const;

    // False when nginx does not come up (see ErrorLog()).
    bool Start();

    int Port() const { return m_port; }
    // "http://127.0.0.1:<port>" (https with TLS) followed by path.
    std::string Url(std::string_view path) const;
    const std::string& DocRoot() const { return m_docRoot; }
    // The contents of nginx's error log, for failure messages.
    std::string ErrorLog() const;
    // One line per request so far: "<connection number> <status> <request line>".
    std::string AccessLog() const;

private:
    TempDir m_dir;
    std::string m_docRoot;
    std::string m_extra;
    std::string m_httpExtra;
    std::string m_certificate;
    std::string m_key;
    bool m_http2 = false;
    int m_port = -1;
    ServerProcess m_process;
};

}  // namespace kov::test
