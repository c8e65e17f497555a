#pragma once

// The command an item runs after its downloads (Cmd): once per delivered file when it names the
// file with %N, else once at the end of the job.

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

namespace kov {

// How long a job waits for its command before ending it.
inline constexpr std::chrono::seconds kJobCommandLimit{300};

// True when the command runs once per delivered file: it contains "%N" in either case.
bool IsPerFileCommand(std::string_view cmd);

// The command line for one delivered file. A command beginning with '*' runs the file itself
// (deleteAfter is set); otherwise every %n and %N is replaced by the local path. Local names
// come from servers, so the path is always inserted quoted for /bin/sh, in the quoting context
// the command has at that point (bare, inside "..." or inside '...'), and made absolute so that
// it can neither be taken for an option nor be searched in PATH.
std::string PerFileCommandLine(std::string_view cmd, const std::string& localPath,
                               bool& deleteAfter);

// The command line run once at the end of a job: the last delivered file itself (quoted, and
// deleteAfter set) for a command beginning with '*', else the command as it stands.
std::string FinalCommandLine(std::string_view cmd, const std::string& lastLocalPath,
                             bool& deleteAfter);

// Runs the command line with /bin/sh in folder (a trailing separator removed; the current folder
// when empty), for at most kJobCommandLimit, and ends it early when stopRequest reaches 2.
// Returns the exit code, 258 (kCommandTimedOut) when it was ended, and -1 when it cannot be
// started: the folder cannot be entered or no process can be created. A command that does not
// exist starts a shell that fails with 127.
int RunJobCommand(const std::string& commandLine, const std::string& folder,
                  const std::atomic<int>* stopRequest);

}  // namespace kov
