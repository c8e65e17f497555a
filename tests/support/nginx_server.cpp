#include "support/nginx_server.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "platform/file_util.h"

namespace kov::test {

namespace {

constexpr const char* kNginx = "/usr/sbin/nginx";

}  // namespace

NginxServer::NginxServer() : m_docRoot(m_dir.File("www")) {
    std::filesystem::create_directories(m_docRoot);
}

bool NginxServer::Available() {
    return access(kNginx, X_OK) == 0;
}

void NginxServer::UseTls(std::string certificate, std::string key) {
    m_certificate = std::move(certificate);
    m_key = std::move(key);
}

bool NginxServer::WriteFile(std::string_view relativePath, std::string_view content) const {
    const std::string path = m_docRoot + "/" + std::string(relativePath);
    return CreateFolders(FolderOf(path)) && WriteFileAtomic(path, content, 0644);
}

std::string NginxServer::Url(std::string_view path) const {
    std::string url = m_certificate.empty() ? "http://" : "https://";
    url += "127.0.0.1:" + std::to_string(m_port);
    url += path;
    return url;
}

std::string NginxServer::ErrorLog() const {
    return m_dir.Read("error.log");
}

std::string NginxServer::AccessLog() const {
    // nginx writes a request's line when the response is done; a moment's grace for the last.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return m_dir.Read("access.log");
}

bool NginxServer::Start() {
    if (!Available()) return false;
    const std::string& d = m_dir.path();
    const std::string confPath = m_dir.File("nginx.conf");
    return m_process.StartOnFreePort(
        [&](int port) -> std::vector<std::string> {
            const std::string listen = "127.0.0.1:" + std::to_string(port);
            std::ofstream conf(confPath, std::ios::trunc);
            conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
                 << "error_log " << d << "/error.log;\npid " << d << "/nginx.pid;\n"
                 << "events { worker_connections 256; }\n"
                 << "http {\n  log_format kov '$connection $status $request';\n"
                 << "  access_log " << d << "/access.log kov;\n"
                 << "  types { text/html html htm; text/plain txt; text/css css; image/png png; }\n"
                 << "  default_type application/octet-stream;\n";
            for (const char* temp : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
                conf << "  " << temp << "_temp_path " << d << "/" << temp << ";\n";
            conf << m_httpExtra << "  server {\n    listen " << listen;
            if (!m_certificate.empty()) {
                conf << (m_http2 ? " ssl http2" : " ssl") << ";\n    ssl_certificate "
                     << m_certificate << ";\n    ssl_certificate_key " << m_key;
            }
            conf << ";\n    server_name localhost;\n    root " << m_docRoot << ";\n"
                 << "    location = /redirect { return 302 /files/a.txt; }\n"
                 << m_extra << "  }\n}\n";
            if (!conf.flush()) return {};
            return {kNginx, "-p", d, "-c", confPath, "-e", d + "/error.log"};
        },
        m_port);
}

}  // namespace kov::test
