#pragma once

#include <optional>
#include <string>
#include <vector>

#include "content/html/link_list.h"

namespace kov {

// The records of a finished rip, kept in a hidden file beside its main page. A re-run whose
// main page the server reports unchanged goes through them instead of parsing the local pages,
// which hold rewritten links only. `fingerprint` names what shaped the rip (its URL and
// settings): records kept under another one are not used.
class RipRecordFile {
public:
    explicit RipRecordFile(const std::string& mainPagePath);

    const std::string& Path() const { return m_path; }
    // False when the file could not be written (the next run then rips afresh).
    bool Save(const std::string& fingerprint, const std::vector<LinkRecord>& records) const;
    // nullopt when there is none, it does not parse or was kept under another fingerprint.
    std::optional<std::vector<LinkRecord>> Load(const std::string& fingerprint) const;
    bool Exists() const;
    // Removes the temporary files of saves that never finished (the program was killed during
    // one): only names made for this record file, in its folder. The number removed.
    int RemoveLeftovers() const;

private:
    std::string m_path;
};

}  // namespace kov
