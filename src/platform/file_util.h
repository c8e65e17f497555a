#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace kov {

bool FileExists(const std::string& path);  // any kind of entry
bool FolderExists(const std::string& path);
std::optional<std::int64_t> FileSize(const std::string& path);
std::optional<std::time_t> LastWriteTime(const std::string& path);
// Sets access and modification times (creation time cannot be set on Linux).
bool SetFileTimes(const std::string& path, std::time_t accessTime, std::time_t modifyTime);
// The same for an open file, without looking its path up again.
bool SetFileTimes(int fd, std::time_t accessTime, std::time_t modifyTime);
// A file being written is marked so until it is whole: a run cut short by a crash or kill -9
// leaves the mark, and a later run does not take the copy for a finished one. The mark is a
// value of the attribute that holds what a download keeps about its file (the HTTP
// validators), so that one write at the end, of what is kept, both ends the mark and keeps it;
// ClearIncomplete is for a file that keeps nothing. Where the file system keeps no attributes
// there is no mark.
inline constexpr const char* kFileStateAttribute = "user.kov.validators";
// created: the open just made the file, so it carries no attribute of an older run to drop.
void MarkIncomplete(int fd, bool created = false);
void ClearIncomplete(int fd);
// The same for a file that is no longer open.
void ClearIncomplete(const std::string& path);
// Also true for the separate mark that older runs set.
bool MarkedIncomplete(const std::string& path);

// Creates the folder and any missing parents. True when it exists afterwards; otherwise errno
// says why a folder could not be made.
bool CreateFolders(const std::string& path, unsigned mode = 0755);

struct FolderEntry {
    std::string name;
    bool isFolder = false;
};
// The entries of a folder whose names match the wildcard (* and ?) in the last component of
// pattern, e.g. "/opt/kov/Lang/*.lng". Matching ignores ASCII case; "." and ".." are never
// returned. Sorted by name.
std::vector<FolderEntry> ListMatching(const std::string& pattern);
// The files this process holds open, by their full paths (symbolic links resolved): the files
// that running transfers are writing.
std::unordered_set<std::string> FilesOpenHere();

// Writes data to a temporary file in the same folder and renames it over path, so that a crash
// or a full disk never leaves a half-written file. The file gets the given mode.
// Not durable: neither the file nor its folder is synced (AtomicFileWriter::SetDurable).
bool WriteFileAtomic(const std::string& path, std::string_view data, unsigned mode = 0600,
                     bool durable = true);

// Writes all of data to a file descriptor, going on after interruptions and short writes.
// False on an error (errno tells which).
bool WriteAll(int fd, std::string_view data);

// Reads a whole file. nullopt when it cannot be opened or read.
std::optional<std::string> ReadFile(const std::string& path);

// The mount point of the file system holding path, with a trailing '/'.
std::string MountPoint(const std::string& path);

// The folder part of a path with its trailing separator ("" when there is none).
std::string FolderOf(std::string_view path);

// "/" appended when the text does not already end with '/' or '\\'; "" stays "" (the
// current folder), so that folder + name never turns into a path at the root.
std::string WithTrailingSlash(std::string path);

}  // namespace kov
