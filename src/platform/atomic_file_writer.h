#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "platform/unique_fd.h"

namespace kov {

// Writes a file through a temporary file in the same folder that is renamed over the target
// only when everything was written, so that a crash or a full disk never leaves a half-written
// file. Without Commit the temporary file is removed and the target stays as it was.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

    // Creates the temporary file for path; the file gets mode at Commit.
    bool Open(const std::string& path, unsigned mode = 0600);
    // Appends data (buffered). A failure is remembered and makes Commit fail.
    void Write(std::string_view data);
    // Writes the rest, syncs and renames over the target. False on any failure so far.
    bool Commit();
    // On: Commit leaves a target alone that already holds exactly these bytes, with the mode and
    // owner a new file would get (and durable as its own save made it). For files whose time and
    // extended attributes mean nothing, such as settings saved unchanged at every end of a
    // session, where a rename and two syncs are most of what a short session spends on files.
    void SetKeepUnchanged(bool on) { m_keepUnchanged = on; }
    // Off: Commit leaves the folder's sync (which makes the rename durable) to the caller,
    // who writes many files and syncs their folder once with SyncFolder.
    void SetFolderSync(bool on) { m_folderSync = on; }
    // Off: neither the file nor its folder is synced. A crash of the program still leaves the
    // old file or the new one whole; a crash of the system may leave the old one or a damaged
    // one. For files that only save work, which a reader that finds them damaged does again.
    void SetDurable(bool on) { m_durable = on; }
    // The system's text for the first failure ("" when none).
    const std::string& Error() const { return m_error; }

private:
    bool FlushBuffer();
    bool TargetHoldsBuffer() const;
    void Abort();
    bool Fail();  // remembers errno's text; always false

    std::string m_path;
    std::string m_temp;
    std::string m_buffer;
    unsigned m_mode = 0600;
    UniqueFd m_fd;
    bool m_failed = false;
    bool m_folderSync = true;
    bool m_durable = true;
    bool m_keepUnchanged = false;
    bool m_flushed = false;  // part of the content is in the temporary file already
    std::string m_error;
};

// Removes the temporaries that writers killed in the middle of a save left in folder (a name
// as Open makes them, of a settings, list or key file); the number removed. Only for a folder
// whose writer lock the caller holds: another writer's save in progress would lose its file.
int RemoveStaleTemporaries(const std::string& folder);
// The same for temporaries of other files: those named ".NAME.XXXXXX" (six letters or digits,
// as mkstemp makes them) for which ours(NAME) holds.
int RemoveStaleTemporaries(const std::string& folder,
                           const std::function<bool(std::string_view name)>& ours);
// The same for the temporaries of the one file at path.
int RemoveStaleTemporariesOf(const std::string& path);

// Makes the renames in folder durable (an fsync of the folder). False when it cannot be
// opened or synced.
bool SyncFolder(const std::string& folder);

}  // namespace kov
