#include "commands/item_commands.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>

#include "cli_messages.h"
#include "cli_options.h"
#include "commands/dry_run.h"
#include "core/settings/settings_file_check.h"
#include "core/text/text_util.h"
#include "model/item_fields.h"
#include "output/item_show.h"
#include "platform/clock.h"
#include "session/application.h"
#include "session/item_edits.h"

namespace kov::cli {

namespace {

// A failed command: its message; an empty one means the command went through.
using Error = std::string;

std::string Plural(std::size_t n, const char* word) {
    return std::to_string(n) + " " + word + (n == 1 ? "" : "s");
}

Error CheckItemNumber(std::size_t n, const ListDocument& doc) {
    if (n >= 1 && n <= doc.Rows().Count()) return "";
    return NoSuchItem(static_cast<long>(n), doc.Rows().Count());
}

// A path given on the command line, made absolute: the program may run later from another
// folder (cron, the scheduler).
std::string AbsolutePath(const std::string& path, bool folder) {
    std::error_code error;  // no current folder: the path stays as given
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    std::string out = path.find('{') == 0 || error ? path : absolute.string();
    if (folder && !out.empty() && out.back() != '/') out += '/';
    return out;
}

Error NewLists(const ItemOptions& o, ListDocument& doc, std::string& done) {
    for (const ItemOptions::NewList& n : o.newLists) {
        ListRecord record = ListDocument::ProposeNewList(n.name);
        if (!n.file.empty()) record.FileName = AbsolutePath(n.file, false);
        // An existing file that is not a list would be overwritten by the first save.
        if (const Error e = SettingsFileProblem(record.FileName, true, "list file"); !e.empty())
            return "--new-list " + n.name + ": " + e;
        if (!n.folder.empty()) record.SaveFolder = AbsolutePath(n.folder, true);
        for (std::size_t i = 0; i < doc.ListCount(); ++i) {
            if (doc.GetList(i)->Name == record.Name) {
                return "--new-list " + n.name + ": list " + std::to_string(i + 1) +
                       " already has that name";
            }
        }
        const std::size_t index = doc.ListCount();
        if (!doc.ApplyListProperties(std::nullopt, record)) return "--new-list: a name is needed";
        for (std::size_t i = 0; i < index; ++i) {
            if (doc.ListFilePath(i) == doc.ListFilePath(index)) {
                return "--new-list " + n.name + ": " + doc.ListFilePath(index) +
                       " is already the file of list " + std::to_string(i + 1);
            }
        }
        done += "new list " + std::to_string(index + 1) + "\t" + record.Name + "\t" +
                doc.ListFilePath(index) + "\n";
    }
    return "";
}

Error RemoveLists(const ItemOptions& o, ListDocument& doc, std::string& done) {
    if (o.removeLists.empty()) return "";
    std::vector<std::size_t> indexes;
    for (std::size_t n : o.removeLists) {
        if (n > doc.ListCount()) {
            return "--remove-list " + std::to_string(n) + ": no such list; " +
                   Plural(doc.ListCount(), "list") + " registered";
        }
        indexes.push_back(n - 1);
    }
    std::sort(indexes.begin(), indexes.end());
    indexes.erase(std::unique(indexes.begin(), indexes.end()), indexes.end());
    if (indexes.size() >= doc.ListCount()) return "--remove-list: the last list cannot be removed";
    std::vector<std::string> files;
    for (std::size_t i : indexes)
        files.push_back(doc.ListFilePath(i));
    doc.DeleteLists(indexes);
    for (std::size_t k = 0; k < indexes.size(); ++k) {
        done += "removed list " + std::to_string(indexes[k] + 1) + " (its file " + files[k] +
                " stays)\n";
    }
    return "";
}

Error UseList(const ItemOptions& o, ListDocument& doc) {
    if (o.useList.empty()) return "";
    std::size_t index = doc.ListCount();
    const bool number = std::all_of(o.useList.begin(), o.useList.end(),
                                    [](char c) { return c >= '0' && c <= '9'; });
    if (number) {
        index = static_cast<std::size_t>(ParseInt32(o.useList)) - 1;
    } else {
        for (std::size_t i = 0; i < doc.ListCount() && index == doc.ListCount(); ++i) {
            if (doc.GetList(i)->Name == o.useList) index = i;
        }
    }
    if (index >= doc.ListCount()) {
        return "--use-list " + o.useList + ": no such list; " + Plural(doc.ListCount(), "list") +
               " registered (see --lists)";
    }
    if (doc.SwitchList(index, false) == ListDocument::SwitchResult::Failed) {
        return "--use-list: " + doc.LastError();
    }
    // A list file that exists but cannot be read: its rows must not be worked on.
    if (!doc.LastError().empty()) return "--use-list: " + doc.LastError();
    return "";
}

Error AddUrls(const CliOptions& options, ListDocument& doc, const AppSettings& settings,
              std::string& done) {
    const ItemOptions& o = options.items;
    if (options.add.empty()) {
        if (!o.addName.empty() || !o.addDest.empty() || o.addTemplate)
            return "--name, --dest and --template go with --add";
        return "";
    }
    const std::string dest = o.addDest.empty() ? "" : AbsolutePath(o.addDest, true);
    const NewItemsRequest request{options.add, o.addName, dest, o.addTemplate};
    if (const ItemRefusal r = CheckNewItems(request, settings.EnableHttps != 0); r.Refused()) {
        if (r.field == "url") return "--add " + r.value + ": " + r.reason;
        return "--" + r.field + ": " + r.reason;
    }
    for (const std::string& url : options.add) {
        std::string note;
        UrlItem item = MakeRequestedItem(doc, url, request, settings, SystemClock().Now(), note);
        const std::string line = item.Name + "\t" + item.Url + note + "\n";
        // The number --set, --show and --remove take for it.
        const long number = doc.Rows().IndexOf(doc.AddItem(std::move(item))) + 1;
        done += "added #" + std::to_string(number) + " " + line;
    }
    return "";
}

Error SetKeys(const ItemOptions& o, ListDocument& doc, bool enableHttps) {
    for (const ItemOptions::Assignments& a : o.set) {
        if (Error e = CheckItemNumber(a.item, doc); !e.empty()) return "--set: " + e;
        Row& row = doc.Rows().At(a.item - 1);
        UrlItem item = row.item;
        for (const std::string& pair : a.pairs) {
            const std::size_t eq = pair.find('=');
            const std::string key = pair.substr(0, eq);
            const std::string value = pair.substr(eq + 1);
            Error e = SetCheckedKey(item, key, value, enableHttps);
            if (e == "unknown key") e += " (the keys are those --show prints)";
            if (!e.empty()) return "--set " + std::to_string(a.item) + " " + pair + ": " + e;
        }
        if (Error e = CheckItemFields(item); !e.empty()) {
            return "--set " + std::to_string(a.item) + ": " + e;
        }
        row.item = std::move(item);
        ListModel::RefreshTexts(row);
        doc.Rows().SetModified(true);
    }
    return "";
}

Error SwitchItems(const std::vector<std::size_t>& numbers, bool disable, ListDocument& doc) {
    for (std::size_t n : numbers) {
        if (Error e = CheckItemNumber(n, doc); !e.empty()) {
            return (disable ? "--disable: " : "--enable: ") + e;
        }
    }
    for (std::size_t n : numbers) {
        Row& row = doc.Rows().At(n - 1);
        row.item.Disabled = disable ? 1 : 0;
        ListModel::RefreshTexts(row);
        doc.Rows().SetModified(true);
    }
    return "";
}

Error MoveItems(const ItemOptions& o, ListDocument& doc) {
    for (const auto& [from, to] : o.move) {
        Error e = CheckItemNumber(from, doc);
        if (e.empty()) e = CheckItemNumber(to, doc);
        if (!e.empty()) return "--move: " + e;
        if (from == to) continue;
        ListModel& rows = doc.Rows();
        UrlItem item = rows.At(from - 1).item;
        rows.Remove({rows.At(from - 1).id});
        rows.Insert(to - 1, std::move(item));
        rows.SetModified(true);
    }
    return "";
}

Error RemoveItems(const ItemOptions& o, ListDocument& doc, std::string& done) {
    std::vector<RowId> ids;
    for (std::size_t n : o.remove) {
        if (Error e = CheckItemNumber(n, doc); !e.empty()) return "--remove: " + e;
        ids.push_back(doc.Rows().At(n - 1).id);
    }
    if (ids.empty()) return "";
    const std::size_t removed = doc.Rows().Remove(ids);
    doc.Rows().SetModified(true);
    done += "removed " + Plural(removed, "item") + "\n";
    return "";
}

// What went through is told in done; the caller prints it once the list is saved.
Error ApplyChanges(const CliOptions& options, Application& app, std::string& done) {
    const ItemOptions& o = options.items;
    ListDocument& doc = app.Document();
    const bool https = app.Settings().EnableHttps != 0;
    Error e = NewLists(o, doc, done);
    if (e.empty()) e = UseList(o, doc);
    if (e.empty()) e = RemoveLists(o, doc, done);
    if (e.empty()) e = AddUrls(options, doc, app.Settings(), done);
    if (e.empty()) e = SetKeys(o, doc, https);
    if (e.empty()) e = SwitchItems(o.enable, false, doc);
    if (e.empty()) e = SwitchItems(o.disable, true, doc);
    if (e.empty()) e = MoveItems(o, doc);
    if (e.empty()) e = RemoveItems(o, doc, done);
    for (std::size_t n : o.show) {
        if (e.empty() && !CheckItemNumber(n, doc).empty()) e = "--show: " + CheckItemNumber(n, doc);
    }
    return e;
}

}  // namespace

int RunItemCommands(const CliOptions& options, Application& app) {
    const ItemOptions& o = options.items;
    ListDocument& doc = app.Document();
    // A refused command leaves everything as it was: the settings are put back and the rows
    // are not saved, so the shut-down writes nothing of it.
    const AppSettings before = app.Settings();
    std::string done;
    if (const Error e = ApplyChanges(options, app, done); !e.empty()) {
        app.Settings() = before;
        doc.Rows().SetModified(false);
        const bool asked = !options.add.empty() || o.Changes();
        std::fprintf(stderr, "kov-cli: %s\n%s", e.c_str(), asked ? "Nothing was saved.\n" : "");
        return kExitUsage;
    }
    const bool changed = !options.add.empty() || o.Changes();
    if (changed && doc.Rows().Modified()) {
        // The current list may come from -nN or a hand-edited kov.ini: its file must be a list.
        const Error e =
            SettingsFileProblem(doc.ListFilePath(doc.CurrentIndex()), true, "list file");
        if (!e.empty()) {
            std::fprintf(stderr, "kov-cli: %s\nNothing was saved.\n", e.c_str());
            return kExitUsage;
        }
        if (doc.SaveList(true, false) != 0) return kExitNotSaved;
    }
    if (!options.quiet) std::fputs(done.c_str(), stdout);
    for (std::size_t n : o.show)
        PrintItem(doc.Rows().At(n - 1).item, n, options.json, stdout);
    if (o.dryRun) PrintDryRun(doc, app.Settings(), SystemClock().Now(), stdout);
    return kExitOk;
}

}  // namespace kov::cli
