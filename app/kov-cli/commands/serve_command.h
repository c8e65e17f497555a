#pragma once

#include <cstdio>
#include <string>

namespace kov {
class Application;
class FileLock;
}  // namespace kov

namespace kov::cli {

// Takes the one-writer lock of the program folder for this run; false (with a message naming
// the program that holds it) when another one writes there.
bool TakeWriterLock(const Application& app, const std::string& holder, FileLock& lock);

// Runs as a service until SIGTERM or SIGINT: the scheduler on, sessions started and stopped by
// the clock, the log on standard output, SIGHUP reloading kov.ini. Returns the exit status.
// powerOffRequested: a session's end asked for the computer to go off, which the caller does
// after the shut-down has saved everything.
int RunServe(Application& app, bool& powerOffRequested);

// Today's queue as the service would run it (the scheduler on), and the tasks as a table.
void PrintQueue(Application& app, std::FILE* out);
void PrintTasks(const Application& app, std::FILE* out);

}  // namespace kov::cli
