#include "content/html/rip_record_file.h"

#include <nlohmann/json.hpp>

#include "platform/atomic_file_writer.h"
#include "platform/file_util.h"

namespace kov {

namespace {

constexpr int kVersion = 1;

nlohmann::json ToJson(const LinkRecord& r) {
    return {{"url", r.url},        {"path", r.localPath}, {"fragment", r.fragment},
            {"final", r.finalUrl}, {"kind", r.kind},      {"depth", r.depth},
            {"parent", r.parent},  {"fetch", r.fetch},    {"downloaded", r.downloaded},
            {"html", r.html}};
}

LinkRecord FromJson(const nlohmann::json& j) {
    LinkRecord r;
    r.url = j.at("url").get<std::string>();
    r.localPath = j.at("path").get<std::string>();
    r.fragment = j.at("fragment").get<std::string>();
    r.finalUrl = j.at("final").get<std::string>();
    r.kind = j.at("kind").get<int>();
    r.depth = j.at("depth").get<int>();
    r.parent = j.at("parent").get<int>();
    r.fetch = j.at("fetch").get<bool>();
    r.downloaded = j.at("downloaded").get<bool>();
    r.html = j.at("html").get<bool>();
    return r;
}

}  // namespace

RipRecordFile::RipRecordFile(const std::string& mainPagePath) {
    const std::size_t slash = mainPagePath.rfind('/');
    const std::size_t name = slash == std::string::npos ? 0 : slash + 1;
    m_path = mainPagePath.substr(0, name) + "." + mainPagePath.substr(name, 200) + ".kov-rip";
}

bool RipRecordFile::Exists() const {
    return FileExists(m_path);
}

int RipRecordFile::RemoveLeftovers() const {
    return RemoveStaleTemporariesOf(m_path);
}

bool RipRecordFile::Save(const std::string& fingerprint,
                         const std::vector<LinkRecord>& records) const {
    nlohmann::json list = nlohmann::json::array();
    for (const LinkRecord& record : records)
        list.push_back(ToJson(record));
    const nlohmann::json doc = {
        {"version", kVersion}, {"fingerprint", fingerprint}, {"records", std::move(list)}};
    // Invalid UTF-8 in an address is kept as it is rather than failing the dump.
    const std::string text = doc.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
    // An unchanged list is not written again.
    if (ReadFile(m_path) == text) return true;
    // Not synced: the pages it describes are not either, and a record file lost or damaged in
    // a system crash only makes the next run rip afresh. The syncs took 5 to 40 ms at the end
    // of every rip.
    return WriteFileAtomic(m_path, text, 0600, false);
}

std::optional<std::vector<LinkRecord>> RipRecordFile::Load(const std::string& fingerprint) const {
    const std::optional<std::string> text = ReadFile(m_path);
    if (!text) return std::nullopt;
    const nlohmann::json doc = nlohmann::json::parse(*text, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || doc.value("version", 0) != kVersion ||
        doc.value("fingerprint", std::string()) != fingerprint || !doc.contains("records") ||
        !doc["records"].is_array())
        return std::nullopt;
    std::vector<LinkRecord> records;
    try {
        for (const nlohmann::json& j : doc["records"])
            records.push_back(FromJson(j));
    } catch (const nlohmann::json::exception&) {
        return std::nullopt;
    }
    // Parents point at earlier records, or the list is not one this code wrote.
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (records[i].parent < 0 || static_cast<std::size_t>(records[i].parent) > i)
            return std::nullopt;
    }
    return records;
}

}  // namespace kov
