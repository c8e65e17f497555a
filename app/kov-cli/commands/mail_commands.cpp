#include "commands/mail_commands.h"

#include <unistd.h>

#include <string>

#include "cli_messages.h"
#include "cli_options.h"
#include "commands/session_frame.h"
#include "commands/session_interrupts.h"
#include "core/event_loop.h"
#include "core/language/message_table.h"
#include "core/prompter.h"
#include "core/text/terminal_text.h"
#include "engine/worker_pool.h"
#include "mail_control/query_message.h"
#include "mail_control/query_sender.h"
#include "mail_line.h"
#include "output/log_printer.h"
#include "session/application.h"
#include "session/mail_check.h"
#include "session/session_controller.h"

namespace kov::cli {

int NotConfigured(const std::string& what) {
    std::fprintf(stderr, "kov-cli: %s not set in [CtrByEmail] of kov.ini\n", what.c_str());
    return kExitUsage;
}

std::string MissingMailbox(const EmailSettings& email) {
    if (email.Pop3Server.empty()) return "Pop3Server is";
    if (email.MailBox.empty()) return "MailBox is";
    if (email.MailBoxPsw.empty()) return "MailBoxPsw is";
    return {};
}

int RunCheckMail(Application& app, const SessionOutput& output) {
    AppSettings& settings = app.Settings();
    if (const std::string missing = MissingMailbox(settings.email); !missing.empty())
        return NotConfigured(missing);
    LogPrinter printer(output.json, output.quiet, isatty(STDOUT_FILENO) == 1);
    SessionFrame frame(app, printer);
    EventLoop& loop = frame.loop;
    int status = kExitOk;
    {
        WorkerPool pool;
        bool powerOff = false;
        SessionHooks hooks = CliSessionHooks(app, loop, powerOff);
        SessionController session(settings, app.Document(), loop, pool, frame.log,
                                  DefaultPrompter(), frame.env, hooks);
        session.SetAutoMode(true, false);
        MailCheck mail(settings, app.Paths().programFolder, app.Document(), session, loop,
                       frame.log);
        int pollResult = 0;
        mail.SetFinished([&](int result, const std::vector<RowId>&) {
            pollResult = result;
            // A session for the new rows ends the run when it ends.
            if (session.State() == SessionState::Idle) loop.Quit();
        });
        // Ctrl+C during the poll ends the run; the poll stops with the mail check.
        const SessionInterrupts interrupts(loop, printer, session, [&loop] { loop.Quit(); });
        session.Activate();
        mail.CheckQueriesFromEmail();
        loop.Run();
        session.StopRunningThreads(false, {}, kStopNow);
        pool.WaitIdle();
        status = interrupts.Raised()          ? kExitInterrupted
                 : pollResult < 0             ? kExitItemFailed
                 : session.SaveFailures() > 0 ? kExitNotSaved
                 // A line that failed left items undone, as in -a.
                 : session.ErrorResults() > 0 || session.LineFailures() > 0 ? kExitItemFailed
                                                                            : kExitOk;
    }
    return status;
}

int RunSendQuery(Application& app, int itemNumber) {
    const EmailSettings& email = app.Settings().email;
    const ListModel& rows = app.Document().Rows();
    if (itemNumber < 1 || static_cast<std::size_t>(itemNumber) > rows.Count()) {
        PrintError("--send-query: " + NoSuchItem(itemNumber, rows.Count()));
        return kExitUsage;
    }
    if (email.SmtpServer.empty()) return NotConfigured("SmtpServer is");
    if (email.PrimaryHost < 0 || static_cast<std::size_t>(email.PrimaryHost) >= email.hosts.size())
        return NotConfigured("PrimaryHost (a KOV server of the list, see --servers) is");
    const UrlItem& item = rows.At(static_cast<std::size_t>(itemNumber - 1)).item;
    std::string error;
    MailLine line;
    if (!line.Open(app.Settings(), error) ||
        !SendQuery(email, static_cast<std::size_t>(email.PrimaryHost), ItemQueryText(item),
                   line.Stop(), &error)) {
        std::fprintf(stderr, "kov-cli: %s %s\n", GetString(EventCode::SendEmailError).c_str(),
                     error.c_str());
        return line.Interrupted() ? kExitInterrupted : kExitItemFailed;
    }
    std::printf(
        "%s: %s\n", GetString(EventCode::QrySentToServer).c_str(),
        HeaderSafe(email.hosts[static_cast<std::size_t>(email.PrimaryHost)].HostEmail).c_str());
    return kExitOk;
}

int RunTestMail(const Application& app) {
    const EmailSettings& email = app.Settings().email;
    if (email.SmtpServer.empty() && email.Pop3Server.empty())
        return NotConfigured("SmtpServer and Pop3Server are");
    bool ok = true;
    for (const bool smtp : {true, false}) {
        if ((smtp ? email.SmtpServer : email.Pop3Server).empty()) continue;
        std::string text;
        const bool passed = smtp ? TestSmtp(email, text) : TestPop3(email, text);
        // The POP3 failure text spans two lines.
        for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;)
            text.replace(at, 2, ": ");
        std::fprintf(passed ? stdout : stderr, "%s\n", TerminalSafe(text).c_str());
        ok = ok && passed;
    }
    return ok ? kExitOk : kExitItemFailed;
}

void PrintServers(const Application& app, std::FILE* out) {
    const EmailSettings& email = app.Settings().email;
    std::fprintf(out, "KOV servers\n#\tenabled\taddress\tprimary\n");
    for (std::size_t i = 0; i < email.hosts.size(); ++i) {
        const EmailHost& host = email.hosts[i];
        std::fprintf(out, "%zu\t%s\t%s\t%s\n", i + 1, host.Enabled ? "yes" : "no",
                     HeaderSafe(host.HostEmail).c_str(),
                     static_cast<std::int32_t>(i) == email.PrimaryHost ? "*" : "");
    }
}

}  // namespace kov::cli
