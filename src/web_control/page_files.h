#pragma once

#include <optional>
#include <string>

namespace kov {

// The web page's files, read from one folder: only plain names directly inside it (the guard
// has already refused anything with '/' or a leading '.').
class PageFiles {
public:
    explicit PageFiles(std::string folder) : m_folder(std::move(folder)) {}

    struct File {
        std::string body;
        std::string contentType;
    };

    // nullopt when there is no page, no such regular file, or it cannot be read.
    std::optional<File> Read(const std::string& name) const;

    static std::string ContentTypeOf(const std::string& name);

    static constexpr std::size_t kSizeLimit = 8 * 1024 * 1024;

private:
    std::string m_folder;
};

}  // namespace kov
