#include "commands/distribute_command.h"

#include <cstdio>
#include <string>
#include <vector>

#include "cli_messages.h"
#include "core/language/message_table.h"
#include "core/prompter.h"
#include "core/text/terminal_text.h"
#include "core/text/text_util.h"
#include "interrupt_flag.h"
#include "mail_control/distributed_download.h"
#include "mail_control/part_merger.h"
#include "mail_control/query_sender.h"
#include "mail_line.h"
#include "model/list_file.h"
#include "model/local_path.h"
#include "net/transfer/resource_prober.h"
#include "platform/clock.h"
#include "platform/file_util.h"
#include "session/application.h"

namespace kov::cli {

namespace {

// Mails a query through the SMTP server of the settings; the reason of a failure goes to
// standard error.
QuerySender SmtpSender(const EmailSettings& email, const MailStop& stop) {
    return [&email, stop](std::size_t hostIndex, const std::string& queryText) {
        std::string error;
        const bool sent = SendQuery(email, hostIndex, queryText, stop, &error);
        if (!sent) std::fprintf(stderr, "kov-cli: %s\n", error.c_str());
        return sent;
    };
}

// Answers every question with the given answer.
class FixedAnswer : public Prompter {
public:
    explicit FixedAnswer(bool answer) : m_answer(answer) {}
    void Inform(const std::string& text) override {
        std::printf("%s\n", TerminalSafe(text, true).c_str());
    }
    bool Ask(const std::string& text, bool) override {
        std::printf("%s\n%s\n", TerminalSafe(text, true).c_str(), m_answer ? "yes" : "no");
        return m_answer;
    }

private:
    bool m_answer;
};

// Whether --distribute may go ahead with the options and the settings; says why not on
// standard error. hosts gets the enabled KOV servers the portions go to.
bool CanDistribute(const CliOptions& options, ListDocument& doc, const EmailSettings& email,
                   std::vector<std::size_t>& hosts) {
    const std::size_t n = static_cast<std::size_t>(options.distributeItem);
    if (n < 1 || n > doc.Rows().Count()) {
        PrintError("--distribute: " + NoSuchItem(static_cast<long>(n), doc.Rows().Count()));
        return false;
    }
    if (options.distributeParts < 2 || options.distributeParts > kMaxParts) {
        std::fprintf(stderr, "kov-cli: --distribute: PARTS must be 2 to %d\n", kMaxParts);
        return false;
    }
    for (std::size_t i = 0; i < email.hosts.size(); ++i) {
        if (email.hosts[i].Enabled && !email.hosts[i].HostEmail.empty()) hosts.push_back(i);
    }
    if (!hosts.empty() && (email.SmtpServer.empty() || email.MyEmailAddr.empty())) {
        std::fprintf(stderr,
                     "kov-cli: --distribute: SmtpServer and MyEmailAddr must be set in [%s] to "
                     "mail the portions\n",
                     kEmailSection);
        return false;
    }
    const UrlItem& item = doc.Rows().At(n - 1).item;
    if (item.NumBased || IStartsWith(item.Url, "file://")) {
        std::fprintf(stderr,
                     "kov-cli: --distribute %zu: only a single web or FTP file can be "
                     "split\n",
                     n);
        return false;
    }
    return true;
}

int Distribute(const CliOptions& options, Application& app, QuerySender send) {
    ListDocument& doc = app.Document();
    const EmailSettings& email = app.Settings().email;
    std::vector<std::size_t> hosts;
    if (!CanDistribute(options, doc, email, hosts)) return kExitUsage;
    const std::size_t n = static_cast<std::size_t>(options.distributeItem);
    Row& row = doc.Rows().At(n - 1);
    UrlItem item = row.item;
    MailLine line;
    std::string lineError;
    if (!line.Open(app.Settings(), lineError)) {
        std::fprintf(stderr, "kov-cli: --distribute: %s\n", lineError.c_str());
        return line.Interrupted() ? kExitInterrupted : kExitItemFailed;
    }
    item.DstDlActive = 1;
    item.DstDlPartCount = options.distributeParts;
    if (item.DstDlPartNo < 1 || item.DstDlPartNo > item.DstDlPartCount) item.DstDlPartNo = 1;
    ResourceProber prober(app.Settings());
    const bool sized = ProbeFileSize(item, prober, SystemClock().Now(), DefaultPrompter());
    row.item = item;
    ListModel::RefreshTexts(row);
    doc.Rows().SetModified(true);
    if (doc.SaveList(true, false) != 0) return kExitNotSaved;
    if (!sized) return kExitItemFailed;
    for (const std::string& line : UpdatePartInfo(item))
        std::printf("%s\n", TerminalSafe(line).c_str());

    FixedAnswer out(false);
    const PartDefinitions defs = CreatePartDefinitions(item, doc.Macros(), out);
    if (!defs.ok) {
        if (!defs.error.empty()) std::fprintf(stderr, "kov-cli: %s\n", defs.error.c_str());
        return kExitNotSaved;
    }
    for (const std::string& file : defs.files)
        std::printf("  %s\n", TerminalSafe(file).c_str());
    std::printf("portion %d is kept by item %zu\n", item.DstDlPartNo, n);
    if (hosts.empty()) {
        std::printf("No KOV server is enabled: carry the part definitions by hand.\n");
        return kExitOk;
    }
    const PortionSendReport report =
        SendPortionQueries(item, email.hosts, hosts, send ? send : SmtpSender(email, line.Stop()));
    for (const std::string& text : report.lines)
        std::printf("%s\n", TerminalSafe(text).c_str());
    std::printf("%s\n", TerminalSafe(report.summary).c_str());
    if (line.Interrupted()) return kExitInterrupted;
    if (OwnPortionMailed(report, item.DstDlPartNo)) {
        // Another installation fetches it now: fetching it here as well would only spend the
        // line twice on the same bytes.
        row.item.Disabled = 1;
        ListModel::RefreshTexts(row);
        doc.Rows().SetModified(true);
        if (doc.SaveList(true, false) != 0) return kExitNotSaved;
        std::printf("portion %d was mailed as well; item %zu is disabled here\n", item.DstDlPartNo,
                    n);
    }
    return report.allSent ? kExitOk : kExitItemFailed;
}

// The whole file's path from what a user names: a part file, the whole file or a folder
// holding exactly one series of parts. "" with error set when it is none of them.
std::string WholeFileOf(const std::string& given, std::string& error) {
    std::string path = given;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (given.ends_with('/') && !FolderExists(path)) {
        error = given + ": No such folder";
        return "";
    }
    if (FolderExists(path)) {
        std::vector<std::string> series;
        for (const FolderEntry& e : ListMatching(WithTrailingSlash(path) + "*.001")) {
            if (!e.isFolder)
                series.push_back(WithTrailingSlash(path) + e.name.substr(0, e.name.size() - 4));
        }
        if (series.size() == 1) return series.front();
        error = series.empty() ? path + ": no part files (*.001) in this folder"
                               : path + ": several part series; name one of their files";
        return "";
    }
    const std::size_t dot = path.rfind('.');
    if (dot != std::string::npos && path.size() - dot == 4 &&
        path.find_first_not_of("0123456789", dot + 1) == std::string::npos)
        return path.substr(0, dot);
    if (FileExists(PartFilePath(path, 1))) return path;
    error = given + ": no part files of it (" + PartFilePath(path, 1) + ")";
    return "";
}

// The part count and file size of the whole file: from an item of the current list that
// fetches it, else from a part definition in its folder.
bool FindPartPlan(const std::string& whole, ListDocument& doc, MergeRequest& request) {
    const MacroContext macros = doc.Macros();
    const std::string name = whole.substr(whole.find_last_of('/') + 1);
    auto matches = [&](const UrlItem& item, bool sameFolder) {
        if (!item.DstDlActive || item.DstDlFileSize <= 0) return false;
        const std::string local = MakeLocalPath(item, macros.now, "", macros);
        if (sameFolder ? local != whole : local.substr(local.find_last_of('/') + 1) != name)
            return false;
        request.partCount = item.DstDlPartCount;
        request.fileSize = item.DstDlFileSize;
        return true;
    };
    for (std::size_t i = 0; i < doc.Rows().Count(); ++i) {
        if (matches(doc.Rows().At(i).item, true)) return true;
    }
    FixedAnswer quiet(false);
    for (const FolderEntry& e : ListMatching(FolderOf(whole) + "Distributed-*.ini")) {
        const ListFileContent content = ReadListFile(FolderOf(whole) + e.name, 0, quiet);
        for (const UrlItem& item : content.items) {
            if (matches(item, false)) return true;
        }
    }
    return false;
}

int Merge(const CliOptions& options, Application& app) {
    std::string error;
    MergeRequest request;
    request.localPath = WholeFileOf(options.mergePath, error);
    if (request.localPath.empty()) {
        std::fprintf(stderr, "kov-cli: --merge %s\n", error.c_str());
        return kExitUsage;
    }
    if (!FindPartPlan(request.localPath, app.Document(), request)) {
        std::fprintf(stderr,
                     "kov-cli: --merge %s: neither the current list nor a part definition "
                     "(Distributed-*.ini) beside it says how many parts it has\n",
                     request.localPath.c_str());
        return kExitUsage;
    }
    std::printf("%s : %s\n", GetString(EventCode::Merging).c_str(), request.localPath.c_str());
    FixedAnswer answer(options.deleteParts);
    const InterruptFlag interrupt;
    const MergeResult result =
        MergeParts(request, answer, {}, [&interrupt] { return interrupt.Raised(); });
    if (!result.ok && interrupt.Raised()) {
        std::fprintf(stderr, "kov-cli: --merge interrupted; %s was not written\n",
                     request.localPath.c_str());
        return kExitInterrupted;
    }
    if (!result.ok) {
        std::fprintf(stderr, "kov-cli: %s\n", result.error.c_str());
        return kExitItemFailed;
    }
    return kExitOk;
}

}  // namespace

int RunDistributeCommands(const CliOptions& options, Application& app, QuerySender send) {
    int status = kExitOk;
    if (options.distributeItem != 0) status = Distribute(options, app, std::move(send));
    if (!options.mergePath.empty() && status == kExitOk) status = Merge(options, app);
    return status;
}

}  // namespace kov::cli
