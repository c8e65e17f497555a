#include "mail_control/distributed_download.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/language/message_table.h"
#include "core/prompter.h"
#include "core/text/text_util.h"
#include "model/list_file.h"
#include "model/local_path.h"
#include "model/url_template.h"
#include "net/transfer/resource_prober.h"
#include "platform/file_util.h"

namespace kov {

namespace {

std::string InfoLine(EventCode label, std::int64_t value) {
    return GetString(label) + " : " + GroupDigits(value) + " " + GetString(EventCode::Bytes);
}

constexpr std::time_t kDay = 86400;

}  // namespace

PortionRange PortionOf(std::int64_t fileSize, std::int32_t count, std::int32_t n) {
    if (fileSize <= 0 || count < 1 || n < 1 || n > count) return {};
    const std::int64_t size = fileSize / count;
    const std::int64_t offset = (n - 1) * size;
    return {offset, n == count ? fileSize - offset : size};
}

std::string PartFilePath(std::string_view localPath, std::int32_t n) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%03u", static_cast<unsigned>(n));
    return std::string(localPath) + suffix;
}

bool ProbeFileSize(UrlItem& item, ResourceProber& prober, std::time_t now, Prompter& prompter) {
    const std::time_t moment = now - static_cast<std::time_t>(item.dayShift) * kDay;
    const std::string url = ExpandTemplate(item.Url, moment, item.CurrentNum, true);
    ResourceInfo info;
    const unsigned flags = prober.Probe(url, info, item.UserName, item.UserPsw);
    const bool known = (flags & kHasLength) != 0 && info.size > 0 &&
                       info.size <= static_cast<std::uint64_t>(kMaxPartBytes);
    if (!known) {
        prompter.Inform(GetString(EventCode::DistrDlImpossible));
        item.DstDlFileSize = 0;
        item.DstDlActive = 0;
    } else {
        item.DstDlFileSize = static_cast<std::int64_t>(info.size);
    }
    UpdatePartInfo(item);
    return known;
}

std::vector<std::string> UpdatePartInfo(UrlItem& item) {
    if (item.DstDlPartCount <= 0 || item.DstDlFileSize <= 0) {
        item.DstDlPartSize = 0;
        return {};
    }
    item.DstDlPartSize = item.DstDlFileSize / item.DstDlPartCount;
    return {InfoLine(EventCode::PartSize, item.DstDlPartSize),
            InfoLine(EventCode::FileSize, item.DstDlFileSize)};
}

std::string PartDefinitionPath(std::string_view folder, std::string_view name, std::int32_t n) {
    // Separators and control characters would lead the file out of the folder or break it;
    // with them gone ".." is only a part of a longer name.
    std::string plain(name);
    for (char& c : plain) {
        if (c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20) c = '_';
    }
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%03u.ini", static_cast<unsigned>(n));
    return WithTrailingSlash(std::string(folder)) + "Distributed-" + plain + suffix;
}

PartDefinitions CreatePartDefinitions(const UrlItem& item, const MacroContext& macros,
                                      Prompter& prompter) {
    PartDefinitions result;
    result.folder = FolderOf(MakeLocalPath(item, macros.now, "", macros));
    if (!result.folder.empty() && !CreateFolders(result.folder)) {
        result.error = GetString(EventCode::MkDirError) + " \r\n" + result.folder;
        prompter.Inform(result.error);
        return result;
    }
    for (std::int32_t n = 1; n <= item.DstDlPartCount; ++n) {
        if (n == item.DstDlPartNo) continue;
        UrlItem copy = item;
        copy.DstDlPartNo = n;
        const std::string path = PartDefinitionPath(result.folder, item.Name, n);
        // A fresh file: nothing of an older definition may survive in it.
        if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
            result.error = path + ": " + std::strerror(errno);
            return result;
        }
        if (!WriteListFile(path, {&copy}, prompter, &result.error)) return result;
        result.files.push_back(path);
    }
    result.ok = true;
    prompter.Inform(GetString(EventCode::DistrDlCreated));
    return result;
}

}  // namespace kov
