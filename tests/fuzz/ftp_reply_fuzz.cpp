// What an FTP server sends that the client parses: listing lines and passive-mode replies.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "net/ftp/ftp_client.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    kov::FtpEntry entry;
    if (kov::FtpClient::ParseListLine(text, entry)) {
        if (entry.name.empty()) std::abort();
        // The name is a piece of the line.
        if (text.find(entry.name) == std::string::npos) std::abort();
    }

    std::string address;
    int port = 0;
    if (kov::FtpClient::ParsePassiveReply(text, address, port)) {
        if (port < 1 || port > 65535) std::abort();
        int dots = 0;
        for (char c : address) {
            if (c == '.')
                ++dots;
            else if (c < '0' || c > '9')
                std::abort();
        }
        if (dots != 3 || address.size() > 15) std::abort();
    }
    if (kov::FtpClient::ParseExtendedPassiveReply(text, port)) {
        if (port < 1 || port > 65535) std::abort();
    }
    return 0;
}
