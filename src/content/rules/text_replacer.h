#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/url_item.h"

namespace kov {

// Why the last operation of a TextReplacer failed.
enum ReplaceError : int {
    kReplaceOk = 0,
    kReplaceNoText = 2001,       // nothing loaded
    kReplaceNothingDone = 2002,  // no match since the load, so nothing to save
    kReplaceCannotWrite = 2003,  // the file (or its backup) could not be written
    kReplaceNoMemory = 2004,     // the output of a rule could not be allocated
    kReplaceTooLarge = 2005,     // a rule would make the text too large; it was skipped
};

// The actions of a rule (ReplaceRule::action).
enum ReplaceAction : std::int32_t {
    kActionReplace = 0,
    kActionCutFromBeginning = 1,  // drop everything up to the end of the match
    kActionCutToEnd = 2,          // drop everything from the start of the match
    kActionCutBetween = 3,        // drop from String 1 through the next String 2
};

// Applies search-and-replace rules to one text file in memory and writes the result back.
// One instance serves one file: Load, any number of Apply calls, at most one Save.
class TextReplacer {
public:
    // A text at or above this size is never produced by a Replace rule.
    static constexpr double kMaxText = 512000000.0;

    // Reads the whole file and resets the match count. False when it cannot be read.
    bool Load(const std::string& path);
    // Uses text as if it had been loaded from path (nothing is read).
    void SetText(std::string text, std::string path = {});
    // Runs the rules in order over the text; each works on what the ones before left. Returns
    // the number of matches since the load (0 when nothing is loaded).
    std::uint64_t Apply(const std::vector<ReplaceRule>& rules);
    // Writes the text back through a temporary file and a rename, keeping the file's mode.
    // With backup (or BackupAlways) the old file is first copied to path + ".bak" the same way.
    // Nothing is written when nothing matched (2002). False on failure; Error() says why.
    bool Save(bool backup);

    const std::string& Text() const { return m_text; }
    const std::string& Path() const { return m_path; }
    std::uint64_t Count() const { return m_count; }
    // The code of the last failure (kReplaceOk when none) and the system's text for it.
    int ErrorCode() const { return m_error; }
    const std::string& ErrorText() const { return m_errorText; }
    bool backupAlways = false;
    // Off: Save leaves the folder's sync to a caller that saves many files (SyncFolder).
    bool syncFolder = true;

    // Turns the escapes \n, \r, \t, \_ (space) and \\ into their characters, in that order.
    static std::string Unescape(std::string_view text);

private:
    void ApplyRule(const ReplaceRule& rule);

    std::string m_path;
    std::string m_text;
    bool m_loaded = false;
    std::uint64_t m_count = 0;
    int m_error = kReplaceOk;
    std::string m_errorText;
};

// Loads path, applies the rules and saves (with a backup when asked) when anything matched.
// Returns the number of matches; 0 when the file cannot be read. A failed save is reported
// through saved (false) and error.
struct ReplaceOutcome {
    std::uint64_t count = 0;
    bool loaded = false;
    bool saved = false;
    int error = kReplaceOk;
    std::string errorText;
};
ReplaceOutcome LoadApplySave(const std::string& path, const std::vector<ReplaceRule>& rules,
                             bool backup, bool syncFolder = true);

}  // namespace kov
