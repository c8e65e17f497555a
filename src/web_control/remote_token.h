#pragma once

#include <string>
#include <string_view>

namespace kov {

// The secret a caller of the remote-control API shows as "Authorization: Bearer TOKEN": 32
// random bytes in hex, kept in a file of mode 0600 that only the user can read.
class RemoteToken {
public:
    // $XDG_CONFIG_HOME/kov/remote-token (default ~/.config/kov/remote-token).
    static std::string DefaultPath();

    explicit RemoteToken(std::string path = DefaultPath()) : m_path(std::move(path)) {}

    // Reads the token; a missing file is made with a new token (its folder too, mode 0700).
    // False with Error() when the file cannot be read, holds no valid token or cannot be made.
    bool LoadOrMake();
    // Reads the token without making one. False when the file is missing or not valid.
    bool Load();
    // Replaces the token with a new one.
    bool Renew();

    const std::string& Value() const { return m_value; }
    const std::string& Path() const { return m_path; }
    const std::string& Error() const { return m_error; }

    // Whether offered equals the token, in time that does not depend on where they differ.
    bool Matches(std::string_view offered) const;

    static constexpr std::size_t kLength = 64;  // hex digits

private:
    bool Save(const std::string& value);
    bool Fail(std::string text);

    std::string m_path;
    std::string m_value;
    std::string m_error;
};

}  // namespace kov
