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

// The environment variable that holds the delivered file's path while its command runs.
inline constexpr char kFileVariable[] = "KOV_FILE";

// A command line ready to run.
struct JobCommand {
    std::string line;       // what /bin/sh runs; also what the log shows
    std::string file;       // the delivered file (absolute), given as $KOV_FILE; may be empty
    bool runsFile = false;  // the "*" form: the line runs the delivered file itself
};

// How a command run ended.
struct CommandRun {
    int result = 0;      // -1 could not start, 258 (kCommandTimedOut) ended by time or stop, else 0
    int exitStatus = 0;  // the command's exit status (128 + signal); -1 when it never ran
    // False when neither the shell nor the program it was to run could be started (sh's 126
    // "not executable" and 127 "not found" included).
    bool Started() const;
};

// True when the command runs once per delivered file: it contains "%N" in either case.
bool IsPerFileCommand(std::string_view cmd);

// The command line for one delivered file. A command beginning with '*' runs the file itself;
// otherwise every %n and %N stands for the local path. Local names come from servers, so the
// path never becomes shell code: outside quotes it is inserted as one quoted word; inside
// '...' or "...", text that may be the script of a further shell (sh -c '... %N'), a path with
// a character any shell would act on is not inserted at all, "$KOV_FILE" stands there instead
// for whichever shell reads it. The path is made absolute, so it can neither be taken for an
// option nor be searched in PATH.
JobCommand PerFileCommand(std::string_view cmd, const std::string& localPath);

// The command run once at the end of a job: the last delivered file itself for a command
// beginning with '*', else the command as it stands.
JobCommand FinalCommand(std::string_view cmd, const std::string& lastLocalPath);

// Runs the command with /bin/sh in folder (a trailing separator removed; the current folder when
// empty), for at most kJobCommandLimit, with $KOV_FILE set to its file, and ends it early when
// stopRequest reaches "stop now". The "*" form first makes the file executable for its owner.
CommandRun RunJobCommand(const JobCommand& command, const std::string& folder,
                         const std::atomic<int>* stopRequest);

}  // namespace kov
