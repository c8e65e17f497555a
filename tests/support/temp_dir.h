#pragma once

#include <string>
#include <string_view>

namespace kov::test {

// A fresh folder under /tmp, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    // path() + "/" + name; the file is not created.
    std::string File(std::string_view name) const;
    // The contents of File(name); "" when it cannot be read.
    std::string Read(std::string_view name) const;

private:
    std::string m_path;
};

}  // namespace kov::test
