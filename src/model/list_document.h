#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/settings/app_settings.h"
#include "model/list_model.h"
#include "model/url_item.h"

namespace kov {

class Prompter;
class RecentPaths;
struct MacroContext;

// What the document needs to know about the installation.
struct DocumentEnvironment {
    std::string programFolder;  // with a trailing '/'
    std::string programDrive;   // mount point of the program folder, with a trailing '/'
    std::uint32_t volumeSerial = 0xF0F;
    const RecentPaths* recent = nullptr;  // for {MRU} and the default folder
};

// The list catalogue and the current list: registering, switching, deleting and renaming lists,
// loading, importing and saving list files, and making new items from URLs, text, exchange
// blocks and dropped files. Used on the main thread; keyboard state comes in as parameters.
class ListDocument {
public:
    ListDocument(AppSettings& settings, DocumentEnvironment environment, Prompter& prompter);

    // Tells whether a download session runs (switches are then deferred, the current list is
    // not deleted, and new rows may join the queue).
    void SetSessionRunning(std::function<bool()> running) { m_sessionRunning = std::move(running); }
    // Called for a row added while a session runs that should join its queue.
    void SetQueueHook(std::function<void(RowId)> hook) { m_queueHook = std::move(hook); }
    // Called when schedule tasks were renamed or removed with their list.
    void SetScheduleHook(std::function<void()> hook) { m_scheduleHook = std::move(hook); }

    // Catalogue.
    // Creates the default list "Main" when none is registered, corrects the current index and
    // opens the current list. Returns the number of lists.
    std::size_t LoadCatalogue();
    std::size_t ListCount() const { return m_settings.lists.size(); }
    const ListRecord* GetList(std::size_t index) const;
    std::size_t CurrentIndex() const;
    void AddList(ListRecord record);

    enum class SwitchResult { Ignored, Switched, Deferred, Failed };
    // Makes another list current, saving the modified current list first (a held Shift discards
    // its changes). While a session runs the switch is only remembered (TakePendingSwitch).
    // Failed, with the current list kept and still modified, when that save failed.
    [[nodiscard]] SwitchResult SwitchList(std::size_t index, bool shiftHeld);
    std::optional<std::size_t> TakePendingSwitch();

    // Deletes the lists at these indexes. The last list and, during a session, the current
    // list are kept; schedule tasks of deleted lists go too. Returns how many were deleted.
    std::size_t DeleteLists(std::vector<std::size_t> indexes);

    // The file and folder proposed for a new list of this name.
    static ListRecord ProposeNewList(std::string_view name);
    // Stores the properties of an existing list (index) or appends a new one (no index).
    // A rename carries over to the schedule tasks of the list. False for an empty name or file.
    bool ApplyListProperties(std::optional<std::size_t> index, const ListRecord& record);

    // The default destination of new items of the current list, and the folder shown for it.
    std::string DefaultFolder() const;
    std::string CurrentFolder() const;
    // The list file of a list with its path macros expanded.
    std::string ListFilePath(std::size_t index) const;

    // Current list.
    ListModel& Rows() { return m_rows; }
    const ListModel& Rows() const { return m_rows; }
    // Opens a registered list into the rows; returns the number of items. A list file that
    // exists but cannot be read gives no rows, a message and LastError(); the next save then
    // fails rather than replace the file.
    std::size_t LoadList(std::size_t index);
    // Appends the items of a list file to the current list, each moved into the current list's
    // default folder; returns the number appended. nullopt, with a message and LastError(),
    // when the file is missing or cannot be read.
    std::optional<std::size_t> ImportList(const std::string& path);
    // Writes the current list. With force false and Shift held nothing is written and the
    // changes are dropped. 0 on success; 1, with a message naming the file and the cause (also
    // in LastError()) and the modified flag kept, when the file could not be written.
    [[nodiscard]] int SaveList(bool force, bool shiftHeld);
    // "path: cause" of the last failed load, import or save ("" when none failed).
    const std::string& LastError() const { return m_lastError; }

    // New items.
    // An item from a bare URL with the new-URL defaults.
    UrlItem MakeNewItem(std::string_view url) const;
    // Appends a new item to the current list (an ID is made when missing).
    RowId AddItem(UrlItem item);
    RowId AddUrl(std::string_view url);
    // Saves a new item from a URL into the file of another list.
    [[nodiscard]] bool AddUrlToList(std::size_t index, std::string_view url);

    // Drops on the lists pane (target: the list under the drop point).
    void DropTextOnListsPane(std::string_view text, std::size_t target);
    // An exchange block: each record is saved into the target list; with Shift held the
    // dragged rows are then deleted from the current list (a move). False when a save failed.
    bool DropBlockOnListsPane(std::string_view block, std::size_t target, bool shiftHeld,
                              const std::vector<RowId>& dragged);
    void DropFilesOnListsPane(const std::vector<std::string>& paths, std::size_t target);
    // Drops on the URL list.
    void DropTextOnUrlList(std::string_view text);
    void DropBlockOnUrlList(std::string_view block);
    void DropFilesOnUrlList(const std::vector<std::string>& paths);

    // The macro environment of the current list at time now.
    MacroContext Macros() const;

private:
    std::string ExpandPath(std::string_view path) const;
    // The name, referrer and destination the new-URL defaults make of an address.
    void ApplyNewUrlNames(const std::string& url, const MacroContext& macros, UrlItem& item) const;
    bool SessionRunning() const { return m_sessionRunning && m_sessionRunning(); }
    void DeleteTasksOf(const std::string& listName);

    AppSettings& m_settings;
    DocumentEnvironment m_env;
    Prompter& m_prompter;
    ListModel m_rows;
    std::string m_lastError;
    std::string m_unreadList;  // why the open list's file could not be read ("" when it could)
    std::optional<std::size_t> m_pendingSwitch;
    std::function<bool()> m_sessionRunning;
    std::function<void(RowId)> m_queueHook;
    std::function<void()> m_scheduleHook;
};

}  // namespace kov
