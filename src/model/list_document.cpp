#include "model/list_document.h"

#include <algorithm>
#include <limits>
#include <sstream>

#include "core/language/message_table.h"
#include "core/prompter.h"
#include "core/settings/user_store.h"
#include "core/text/text_util.h"
#include "model/content_category.h"
#include "model/exchange_format.h"
#include "model/list_file.h"
#include "model/macro_expander.h"
#include "model/url_parts.h"
#include "model/url_template.h"
#include "model/url_template_parse.h"
#include "platform/clock.h"
#include "platform/file_util.h"

namespace kov {

namespace {

// Lines of a dropped text, without their line ends, joined into one string.
std::string JoinLines(std::string_view text) {
    std::string joined;
    joined.reserve(text.size());
    for (char c : text) {
        if (c != '\r' && c != '\n') joined += c;
    }
    return joined;
}

// The last non-empty component of a path or address ("a.txt" of "file:///tmp/a.txt", "docs"
// of "file:///srv/docs/").
std::string LastComponent(std::string_view text) {
    while (!text.empty() && (text.back() == '/' || text.back() == '\\'))
        text.remove_suffix(1);
    const std::size_t sep = text.find_last_of("/\\");
    return std::string(sep == std::string_view::npos ? text : text.substr(sep + 1));
}

bool IsListFile(std::string_view path) {
    return IEndsWith(path, ".ini");
}

// The file's name without folder and extension.
std::string BaseName(std::string_view path) {
    const std::size_t slash = path.find_last_of("/\\");
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    const std::size_t dot = name.rfind('.');
    if (dot != std::string_view::npos && dot > 0) name = name.substr(0, dot);
    return std::string(name);
}

}  // namespace

ListDocument::ListDocument(AppSettings& settings, DocumentEnvironment environment,
                           Prompter& prompter)
    : m_settings(settings), m_env(std::move(environment)), m_prompter(prompter) {}

MacroContext ListDocument::Macros() const {
    MacroContext c;
    c.appFolder = m_env.programFolder;
    c.appDrive = m_env.programDrive;
    if (const ListRecord* list = GetList(CurrentIndex())) {
        c.listName = list->Name;
        c.listFolder = list->SaveFolder;
    }
    if (m_env.recent) c.mru = m_env.recent->First();
    c.now = SystemClock().Now();
    c.enableHttps = m_settings.EnableHttps != 0;
    return c;
}

std::string ListDocument::ExpandPath(std::string_view path) const {
    std::string out;
    if (!ExpandMacros(out, ListRecord::kPathCapacity, "", path, kPathMacroSet, Macros())) {
        out = std::string(path);
    }
    return out;
}

// Catalogue.

std::size_t ListDocument::LoadCatalogue() {
    auto& lists = m_settings.lists;
    if (lists.empty()) {
        lists.push_back(
            {"Main", m_env.programFolder + "Default.ini", m_env.programFolder + "Download/Main/"});
        m_settings.CurLstNum = 0;
        m_settings.changed = true;
    }
    const auto last = static_cast<std::int32_t>(lists.size()) - 1;
    if (m_settings.CurLstNum >= last) m_settings.CurLstNum = last;
    if (m_settings.CurLstNum < 0) m_settings.CurLstNum = 0;
    LoadList(CurrentIndex());
    return lists.size();
}

const ListRecord* ListDocument::GetList(std::size_t index) const {
    return index < m_settings.lists.size() ? &m_settings.lists[index] : nullptr;
}

std::size_t ListDocument::CurrentIndex() const {
    return static_cast<std::size_t>(std::max(m_settings.CurLstNum, 0));
}

void ListDocument::AddList(ListRecord record) {
    m_settings.lists.push_back(std::move(record));
    m_settings.changed = true;
}

ListDocument::SwitchResult ListDocument::SwitchList(std::size_t index, bool shiftHeld) {
    if (index == CurrentIndex() || index >= ListCount()) return SwitchResult::Ignored;
    if (SessionRunning()) {
        m_pendingSwitch = index;
        return SwitchResult::Deferred;
    }
    if (m_rows.Modified() && SaveList(false, shiftHeld) != 0) return SwitchResult::Failed;
    m_settings.CurLstNum = static_cast<std::int32_t>(index);
    m_rows.SetModified(false);
    LoadList(index);
    m_settings.changed = true;
    return SwitchResult::Switched;
}

std::optional<std::size_t> ListDocument::TakePendingSwitch() {
    auto pending = m_pendingSwitch;
    m_pendingSwitch.reset();
    return pending;
}

void ListDocument::DeleteTasksOf(const std::string& listName) {
    auto& tasks = m_settings.schedule.tasks;
    const auto before = tasks.size();
    tasks.erase(std::remove_if(tasks.begin(), tasks.end(),
                               [&](const ScheduleTask& t) { return t.ListName == listName; }),
                tasks.end());
    if (tasks.size() != before && m_scheduleHook) m_scheduleHook();
}

std::size_t ListDocument::DeleteLists(std::vector<std::size_t> indexes) {
    // From the bottom up, so that the indexes still to come stay valid.
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    auto& lists = m_settings.lists;
    bool currentDeleted = false;
    std::size_t deleted = 0;
    for (auto it = indexes.rbegin(); it != indexes.rend(); ++it) {
        const std::size_t i = *it;
        if (i >= lists.size() || lists.size() == 1) continue;
        const std::size_t current = CurrentIndex();
        if (i == current) {
            if (SessionRunning()) continue;
            currentDeleted = true;
        } else if (i < current) {
            --m_settings.CurLstNum;
        }
        const std::string name = lists[i].Name;
        lists.erase(lists.begin() + static_cast<std::ptrdiff_t>(i));
        DeleteTasksOf(name);
        ++deleted;
    }
    if (deleted == 0) return 0;
    m_settings.changed = true;
    const auto last = static_cast<std::int32_t>(lists.size()) - 1;
    if (m_settings.CurLstNum > last) m_settings.CurLstNum = last;
    // A list that only moved keeps its rows (and their unsaved changes); a deleted one is
    // replaced by the list that is now current.
    if (currentDeleted) {
        m_rows.SetModified(false);
        LoadList(CurrentIndex());
    }
    return deleted;
}

ListRecord ListDocument::ProposeNewList(std::string_view name) {
    ListRecord r;
    r.Name = CapText(name, ListRecord::kNameCapacity);
    if (name.empty()) {
        r.FileName = "{APPFOLDER}NewList.ini";
        r.SaveFolder = "{APPFOLDER}Downloads/";
    } else {
        r.FileName = CapText("{APPFOLDER}" + r.Name + ".ini", ListRecord::kPathCapacity);
        r.SaveFolder = CapText("{APPFOLDER}Downloads/" + r.Name + "/", ListRecord::kPathCapacity);
    }
    return r;
}

bool ListDocument::ApplyListProperties(std::optional<std::size_t> index, const ListRecord& record) {
    if (record.Name.empty() || record.FileName.empty()) return false;
    ListRecord r;
    r.Name = CapText(record.Name, ListRecord::kNameCapacity);
    r.FileName = CapText(record.FileName, ListRecord::kPathCapacity);
    r.SaveFolder = CapText(record.SaveFolder, ListRecord::kPathCapacity);
    if (!index) {
        AddList(std::move(r));
        return true;
    }
    if (*index >= ListCount()) return false;
    // The open list moving to another file: its unsaved rows go to the file they came from
    // first, and a file that exists already is opened rather than overwritten by them.
    const bool current = *index == CurrentIndex();
    const bool moved = current && ListFilePath(*index) != ExpandPath(r.FileName);
    if (moved && m_rows.Modified() && m_unreadList.empty() && SaveList(true, false) != 0)
        return false;
    ListRecord& old = m_settings.lists[*index];
    if (old.Name != r.Name) {
        bool renamed = false;
        for (ScheduleTask& task : m_settings.schedule.tasks) {
            if (task.ListName == old.Name) {
                task.ListName = CapText(r.Name, ScheduleTask::kNameCapacity);
                renamed = true;
            }
        }
        if (renamed && m_scheduleHook) m_scheduleHook();
    }
    old = std::move(r);
    m_settings.changed = true;
    if (moved) {
        if (FileExists(ListFilePath(*index))) {
            LoadList(*index);
        } else {
            m_unreadList.clear();
            m_rows.SetModified(true);  // the rows make the new file at the next save
        }
    }
    return true;
}

std::string ListDocument::DefaultFolder() const {
    const ListRecord* list = GetList(CurrentIndex());
    if (list && !list->SaveFolder.empty()) return list->SaveFolder;
    const std::string& localDir = m_settings.newUrl.LocalDir;
    if (localDir.empty()) return m_env.programFolder + "Download/";
    const std::size_t mru = localDir.find("{MRU}");
    if (mru != std::string::npos && m_env.recent && !m_env.recent->Paths().empty()) {
        std::string folder = localDir;
        folder.replace(mru, 5, m_env.recent->First());
        return folder;
    }
    return localDir;
}

std::string ListDocument::CurrentFolder() const {
    if (ListCount() == 0) return "/NewFolder/";
    const ListRecord* list = GetList(CurrentIndex());
    if (list && !list->SaveFolder.empty()) return list->SaveFolder;
    return m_env.programFolder + "Download/";
}

std::string ListDocument::ListFilePath(std::size_t index) const {
    const ListRecord* list = GetList(index);
    return list ? ExpandPath(list->FileName) : std::string();
}

// Current list.

std::size_t ListDocument::LoadList(std::size_t index) {
    if (index >= ListCount()) return 0;
    ListFileContent content = ReadListFile(ListFilePath(index), m_env.volumeSerial, m_prompter);
    m_lastError = content.error;
    m_unreadList = content.error;
    if (!content.error.empty()) m_prompter.Inform(content.error);
    const std::size_t count = content.items.size();
    m_rows.Reset(std::move(content.items));
    m_rows.SetModified(content.newIds > 0);
    return count;
}

std::optional<std::size_t> ListDocument::ImportList(const std::string& path) {
    const std::string file = ExpandPath(path);
    // An import names a file on purpose: a missing one is an error, not an empty list.
    if (!FileExists(file)) {
        m_lastError = file + ": No such file or directory";
        m_prompter.Inform(m_lastError);
        return std::nullopt;
    }
    ListFileContent content = ReadListFile(file, m_env.volumeSerial, m_prompter);
    m_lastError = content.error;
    if (!content.error.empty()) {
        m_prompter.Inform(content.error);
        return std::nullopt;
    }
    const std::string folder = WithTrailingSlash(DefaultFolder());
    for (UrlItem& item : content.items) {
        const std::size_t cut = item.Dest.find_last_of("/\\:");
        const std::string last = cut == std::string::npos ? item.Dest : item.Dest.substr(cut + 1);
        item.Dest = CapText(folder + last, UrlItem::kDestCapacity);
        AddItem(std::move(item));
    }
    if (!content.items.empty()) m_rows.SetModified(true);
    return content.items.size();
}

int ListDocument::SaveList(bool force, bool shiftHeld) {
    if (!force && shiftHeld) {
        m_rows.SetModified(false);
        return 0;
    }
    std::vector<const UrlItem*> items;
    items.reserve(m_rows.Count());
    for (std::size_t i = 0; i < m_rows.Count(); ++i)
        items.push_back(&m_rows.At(i).item);
    const std::string path = ListFilePath(CurrentIndex());
    std::string error = "no list file";
    // Rows that stand in for a file that could not be read must not replace it, even when
    // the file can be read again by now.
    if (!m_unreadList.empty()) error = m_unreadList + " when the list was opened";
    if (!path.empty() && m_unreadList.empty()) CreateFolders(FolderOf(path), 0700);
    if (path.empty() || !m_unreadList.empty() || !WriteListFile(path, items, m_prompter, &error)) {
        m_lastError = error;
        m_prompter.Inform(GetString(EventCode::ErrorSavingIni) + " " + error);
        return 1;
    }
    m_lastError.clear();
    m_rows.SetModified(false);
    return 0;
}

// New items.

namespace {

// The address in a plain form for the known schemes; the user and password move into the
// item. The object keeps its escapes: decoded, "%25" would turn into a template token and
// "%2F" into a folder.
std::string PlainUrl(std::string_view text, UrlItem& item, bool https) {
    std::string url = CapText(text, UrlItem::kUrlCapacity);
    UrlParts parts;
    if (!SplitUrl(url, parts, false) || parts.host.empty()) return url;
    const bool known = parts.scheme == "ftp" || parts.scheme == "http" || parts.scheme == "file" ||
                       (https && parts.scheme == "https");
    if (!known) return url;
    std::string rebuilt = parts.scheme + "://" + parts.host;
    if (parts.port != DefaultPort(parts.scheme)) rebuilt += ":" + std::to_string(parts.port);
    rebuilt += parts.object;
    item.UserName = CapText(DecodeEscapes(parts.user), UrlItem::kUserCapacity);
    item.UserPsw = CapText(DecodeEscapes(parts.password), UrlItem::kUserCapacity);
    return CapText(rebuilt, UrlItem::kUrlCapacity);
}

// The new-URL defaults that are plain values, and the content category of the address.
void ApplyNewUrlValues(const NewUrlDefaults& d, const std::string& url, UrlItem& item) {
    item.Cmd = CapText(d.Cmd, UrlItem::kCmdCapacity);
    item.days = d.days;
    item.dayShift = d.dayShift;
    item.Disabled = d.Disabled;
    item.interval = d.interval;
    item.nfsize = d.nfsize;
    item.nfString = CapText(d.nfString, UrlItem::kNfStringCapacity);
    item.RipBanners = d.RipBanners;
    item.UpdateMode = d.UpdateMode;
    item.WithLinks = d.WithLinks;
    item.WithPics = d.WithPics;
    if (item.NumBased) {
        // In 64 bits: a number near the top of the range plus the default must not wrap.
        item.StopNumber = static_cast<std::int32_t>(
            std::min<std::int64_t>(std::int64_t{item.CurrentNum} + d.StopNumber,
                                   std::numeric_limits<std::int32_t>::max() - 1));
        item.Tolerance = d.Tolerance;
    }
    UrlParts split;
    const bool hasObject =
        SplitUrl(url, split, false) && !split.object.empty() && split.object != "/";
    item.ConType =
        static_cast<std::int16_t>(hasObject ? CategoryFromExtension(url) : kCategoryText);
}

}  // namespace

UrlItem ListDocument::MakeNewItem(std::string_view text) const {
    const NewUrlDefaults& d = m_settings.newUrl;
    const bool https = m_settings.EnableHttps != 0;
    UrlItem item = FreshItem();
    const std::string url = PlainUrl(text, item, https);
    // Url is a template: a "%" of the address must not turn into a token ("%D0" would become
    // the day of the month).
    const std::string templ = CapText(EscapeTemplateText(url), UrlItem::kUrlCapacity);
    item.Url = templ;
    const MacroContext macros = Macros();
    if (d.ParseUrl) ParseUrlToTemplate(templ, item, macros.now, d.StopNumber, https);
    ApplyNewUrlNames(url, macros, item);
    ApplyNewUrlValues(d, url, item);
    return item;
}

void ListDocument::ApplyNewUrlNames(const std::string& url, const MacroContext& macros,
                                    UrlItem& item) const {
    const NewUrlDefaults& d = m_settings.newUrl;
    const bool https = m_settings.EnableHttps != 0;
    std::string expanded;
    const std::string nameTemplate = d.Name.empty() ? "{DOMAIN}" : d.Name;
    if (ExpandMacros(expanded, UrlItem::kNameCapacity, url, nameTemplate, kNameMacroSet, macros)) {
        item.Name = expanded;
    } else {
        item.Name = CapText(url, UrlItem::kNameCapacity);  // not an address: show the text
    }
    // Without an address yet (a new item in the editor) a name made from the URL would show
    // its macros as text, and the editor would make a folder of them: the name stays empty
    // until the URL is known.
    const bool haveUrl = !TrimBlanks(url).empty();
    if (!haveUrl && HasUrlMacros(item.Name)) item.Name.clear();
    // A local file has no site, so a name made of {SITE} comes out empty: the file's own
    // name tells the user more.
    if (TrimBlanks(item.Name).empty())
        item.Name = CapText(LastComponent(url), UrlItem::kNameCapacity);
    const bool webAddress = IStartsWith(url, "http://") || (https && IStartsWith(url, "https://"));
    if (!d.Referer.empty() && webAddress &&
        ExpandMacros(expanded, UrlItem::kRefererCapacity, url, d.Referer, kNameMacroSet, macros)) {
        item.Referer = expanded;
    }
    item.Dest = CapText(d.LocalDir, UrlItem::kDestCapacity);
    if (d.LocalDir.find('{') != std::string::npos &&
        ExpandMacros(expanded, UrlItem::kDestCapacity, url, d.LocalDir, kFolderMacroSet, macros)) {
        item.Dest = expanded;
    }
    if (!haveUrl && HasUrlMacros(item.Dest)) item.Dest = DefaultFolder();
}

RowId ListDocument::AddItem(UrlItem item) {
    if (item.ID.empty()) item.ID = MakeItemId(m_env.volumeSerial);
    const bool joinQueue = m_settings.newUrl.PutNewToQueue != 0 || item.CEType == 10;
    const RowId id = m_rows.Append(std::move(item));
    m_rows.SetModified(true);
    if (SessionRunning() && joinQueue && m_queueHook) m_queueHook(id);
    return id;
}

RowId ListDocument::AddUrl(std::string_view url) {
    return AddItem(MakeNewItem(url));
}

bool ListDocument::AddUrlToList(std::size_t index, std::string_view url) {
    if (index >= ListCount()) {
        m_lastError = "no list " + std::to_string(index + 1);
        return false;
    }
    UrlItem item = MakeNewItem(url);
    item.ID = MakeItemId(m_env.volumeSerial);
    const std::string path = ListFilePath(index);
    CreateFolders(FolderOf(path), 0700);
    return AppendItemToFile(path, item, m_prompter, &m_lastError);
}

// Drops.

void ListDocument::DropTextOnListsPane(std::string_view text, std::size_t target) {
    const std::string url = JoinLines(text);
    if (url.empty() || target >= ListCount()) return;
    if (target == CurrentIndex()) {
        AddUrl(url);
    } else if (!AddUrlToList(target, url)) {
        m_prompter.Inform("Drop error: Error writing to INI file !!! " + m_lastError);
    }
}

bool ListDocument::DropBlockOnListsPane(std::string_view block, std::size_t target, bool shiftHeld,
                                        const std::vector<RowId>& dragged) {
    if (target >= ListCount()) return false;
    const std::time_t now = SystemClock().Now();
    ExchangeReader reader(block);
    const bool toCurrent = target == CurrentIndex();
    const std::string path = ListFilePath(target);
    std::vector<UrlItem> items;
    for (;;) {
        UrlItem item = FreshItem();
        if (!reader.ReadItem(item, now)) break;
        if (toCurrent) {
            // The open list is written from its rows, so the item joins them instead of a
            // file that the next save would overwrite.
            AddItem(std::move(item));
            continue;
        }
        if (item.ID.empty()) item.ID = MakeItemId(m_env.volumeSerial);
        items.push_back(std::move(item));
    }
    if (!items.empty()) {
        std::vector<const UrlItem*> pointers;
        for (const UrlItem& item : items)
            pointers.push_back(&item);
        CreateFolders(FolderOf(path), 0700);
        if (!AppendItemsToFile(path, pointers, m_prompter, &m_lastError)) {
            m_prompter.Inform("Copy/move URL: Error writing to INI file !!! " + m_lastError);
            return false;
        }
    }
    if (shiftHeld && !toCurrent && !dragged.empty()) {
        if (m_rows.Remove(dragged) > 0) m_rows.SetModified(true);
    }
    return true;
}

void ListDocument::DropFilesOnListsPane(const std::vector<std::string>& paths, std::size_t target) {
    for (const std::string& path : paths) {
        if (IsListFile(path)) {
            const bool known = std::any_of(
                m_settings.lists.begin(), m_settings.lists.end(),
                [&](const ListRecord& r) { return IEquals(ExpandPath(r.FileName), path); });
            if (known) {
                m_prompter.Inform(GetString(EventCode::FileAlreadyExist));
                continue;
            }
            ListRecord r;
            r.Name = CapText(BaseName(path), ListRecord::kNameCapacity);
            const std::size_t dot = path.rfind('.');
            r.FileName = CapText(path, ListRecord::kPathCapacity);
            r.SaveFolder = CapText(path.substr(0, dot) + "/", ListRecord::kPathCapacity);
            AddList(std::move(r));
        } else if (target < ListCount()) {
            const std::string url = "file://" + path;
            if (target == CurrentIndex()) {
                AddUrl(url);
            } else if (!AddUrlToList(target, url)) {
                m_prompter.Inform("Drop error: Error writing to INI file !!! " + m_lastError);
            }
        }
    }
}

void ListDocument::DropTextOnUrlList(std::string_view text) {
    const std::string url = JoinLines(text);
    if (!url.empty()) AddUrl(url);
}

void ListDocument::DropBlockOnUrlList(std::string_view /*block*/) {
    m_prompter.Inform("Debug msg: Here is dropped data in INTERNAL format");
}

void ListDocument::DropFilesOnUrlList(const std::vector<std::string>& paths) {
    for (const std::string& path : paths) {
        if (IsListFile(path)) {
            ImportList(path);  // a file that cannot be read is reported there
        } else {
            AddUrl("file://" + path);
        }
    }
}

}  // namespace kov
