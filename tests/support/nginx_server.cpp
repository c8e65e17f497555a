#include "support/nginx_server.h"

#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

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
    std::filesystem::path path = std::filesystem::path(m_docRoot) / relativePath;
    std::error_code error;
    std::filesystem::create_directories(path.parent_path(), error);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    return static_cast<bool>(out.flush());
}

std::string NginxServer::Url(std::string_view path) const {
    std::string url = m_certificate.empty() ? "http://" : "https://";
    url += "127.0.0.1:" + std::to_string(m_port);
    url += path;
    return url;
}

namespace {

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

std::string NginxServer::ErrorLog() const {
    return Slurp(m_dir.File("error.log"));
}

std::string NginxServer::AccessLog() const {
    // nginx writes a request's line when the response is done; a moment's grace for the last.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return Slurp(m_dir.File("access.log"));
}

bool NginxServer::Start() {
    if (!Available()) return false;
    // FreePort releases the port before nginx binds it; another process may take it in
    // between, so a failed start is tried again with a new port.
    for (int attempt = 0; attempt < 3; ++attempt) {
        m_port = ServerProcess::FreePort();
        if (m_port <= 0) return false;
        const std::string& d = m_dir.path();
        std::string listen = "127.0.0.1:" + std::to_string(m_port);
        std::ostringstream conf;
        conf << "daemon off;\nmaster_process off;\nworker_processes 1;\n"
             << "error_log " << d << "/error.log;\npid " << d << "/nginx.pid;\n"
             << "events { worker_connections 256; }\n"
             << "http {\n  log_format kov '$connection $status $request';\n"
             << "  access_log " << d << "/access.log kov;\n"
             << "  types { text/html html htm; text/plain txt; text/css css; image/png png; }\n"
             << "  default_type application/octet-stream;\n"
             << "  client_body_temp_path " << d << "/client_body;\n"
             << "  proxy_temp_path " << d << "/proxy;\n"
             << "  fastcgi_temp_path " << d << "/fastcgi;\n"
             << "  uwsgi_temp_path " << d << "/uwsgi;\n"
             << "  scgi_temp_path " << d << "/scgi;\n"
             << "  server {\n";
        if (m_certificate.empty()) {
            conf << "    listen " << listen << ";\n";
        } else {
            conf << "    listen " << listen << " ssl;\n"
                 << "    ssl_certificate " << m_certificate << ";\n"
                 << "    ssl_certificate_key " << m_key << ";\n";
        }
        conf << "    server_name localhost;\n    root " << m_docRoot << ";\n"
             << "    location = /redirect { return 302 /files/a.txt; }\n"
             << m_extra << "  }\n}\n";
        std::string confPath = m_dir.File("nginx.conf");
        {
            std::ofstream out(confPath, std::ios::trunc);
            out << conf.str();
            if (!out.flush()) return false;
        }
        if (m_process.Start({kNginx, "-p", d, "-c", confPath, "-e", d + "/error.log"}, m_port))
            return true;
    }
    return false;
}

}  // namespace kov::test
