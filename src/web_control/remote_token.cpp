#include "web_control/remote_token.h"

#include <sys/random.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "platform/file_util.h"
#include "platform/program_paths.h"

namespace kov {

namespace {

bool IsToken(std::string_view text) {
    if (text.size() != RemoteToken::kLength) return false;
    for (const char c : text) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    }
    return true;
}

bool RandomHex(std::string& out) {
    unsigned char bytes[RemoteToken::kLength / 2];
    std::size_t got = 0;
    while (got < sizeof bytes) {
        const ssize_t n = ::getrandom(bytes + got, sizeof bytes - got, 0);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        got += static_cast<std::size_t>(n);
    }
    static constexpr char kHex[] = "0123456789abcdef";
    out.clear();
    for (const unsigned char b : bytes) {
        out += kHex[b >> 4];
        out += kHex[b & 15];
    }
    return true;
}

}  // namespace

std::string RemoteToken::DefaultPath() {
    return FolderOf(UserStorePath()) + "remote-token";
}

bool RemoteToken::Fail(std::string text) {
    m_error = std::move(text);
    return false;
}

bool RemoteToken::Load() {
    m_value.clear();
    std::optional<std::string> text = ReadFile(m_path);
    if (!text) return Fail(m_path + ": " + std::strerror(errno));
    std::string value = std::move(*text);
    while (!value.empty() && (value.back() == '\n' || value.back() == '\r'))
        value.pop_back();
    if (!IsToken(value)) return Fail(m_path + ": not a remote-control token");
    m_value = std::move(value);
    m_error.clear();
    return true;
}

bool RemoteToken::LoadOrMake() {
    struct stat st {};
    if (::stat(m_path.c_str(), &st) == 0 || errno != ENOENT) return Load();
    return Renew();
}

bool RemoteToken::Renew() {
    std::string value;
    if (!RandomHex(value)) return Fail(std::string("no random bytes: ") + std::strerror(errno));
    return Save(value);
}

bool RemoteToken::Save(const std::string& value) {
    const std::string folder = FolderOf(m_path);
    if (!folder.empty() && !CreateFolders(folder, 0700))
        return Fail(folder + ": " + std::strerror(errno));
    if (!WriteFileAtomic(m_path, value + "\n", 0600))
        return Fail(m_path + ": " + std::strerror(errno));
    m_value = value;
    m_error.clear();
    return true;
}

bool RemoteToken::Matches(std::string_view offered) const {
    if (m_value.empty()) return false;
    // Every byte of the token is compared whatever the offered length, so the time taken tells
    // nothing about how much of it was right.
    unsigned char diff = offered.size() == m_value.size() ? 0 : 1;
    for (std::size_t i = 0; i < m_value.size(); ++i) {
        const char c = i < offered.size() ? offered[i] : '\0';
        diff |= static_cast<unsigned char>(c ^ m_value[i]);
    }
    return diff == 0;
}

}  // namespace kov
