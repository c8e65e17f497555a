#pragma once

#include <cstdint>
#include <ctime>
#include <string>

namespace kov {

// Which headers a response carried.
enum ResourceFlag : unsigned {
    kHasContentType = 0x01,
    kHasLength = 0x02,
    kHasLastModified = 0x04,
    kHasFileName = 0x08,
    kHasLocation = 0x10,
};

// What one probe or one response said about a resource.
struct ResourceInfo {
    static constexpr std::size_t kTypeCapacity = 32;
    static constexpr std::size_t kUrlCapacity = 300;
    static constexpr std::size_t kFileNameCapacity = 128;
    static constexpr const char* kNoType = "?????????";

    std::uint64_t size = 0;        // Content-Length; after a transfer the bytes received
    std::string contentType;       // media type without parameters
    std::string finalUrl;          // after redirects, or the Location target
    int category = 0;              // content category of the media type; -1 for FTP and files
    int isHtml = 0;                // the media type is exactly text/html
    std::string fileName;          // from Content-Disposition, reduced to a plain name
    std::time_t lastModified = 0;  // seconds rounded down to even
    std::string lastModifiedText;  // the header as sent, for If-Range
    int acceptRanges = 0;
    unsigned flags = 0;
    int status = -1;  // HTTP status of the last response; -1: no probe was made
};

}  // namespace kov
