#include "mail_control/job_result_mail.h"

#include <cstdio>

#include "core/text/text_util.h"
#include "mail_control/query_message.h"

namespace kov {
namespace {

std::string Row(std::string_view name, std::string_view size) {
    char line[256];
    std::snprintf(line, sizeof line, "%-34.200s %12.40s", std::string(name).c_str(),
                  std::string(size).c_str());
    return line;
}

}  // namespace

std::string ReplyAddress(std::string_view fromValue) {
    const std::size_t open = fromValue.rfind('<');
    if (open != std::string_view::npos) {
        const std::size_t close = fromValue.find('>', open);
        if (close != std::string_view::npos) {
            fromValue = fromValue.substr(open + 1, close - open - 1);
        }
    }
    return std::string(TrimBlanks(HeaderSafe(fromValue)));
}

MailText ComposeJobResult(std::string_view myAddress, std::string_view comeFrom,
                          const SavedFiles& files) {
    MailText mail;
    mail.from = HeaderSafe(myAddress);
    mail.to = ReplyAddress(comeFrom);
    mail.subject = kJobResultSubject;
    mail.mailer = kOtherMailer;
    mail.body = "Your Download query result, Files downloaded:\n";
    mail.body += Row("File Name", "Size");
    for (const auto& [name, size] : files) {
        // A name is one line of the table whatever the server called the file.
        // The name with its extension: where this installation keeps the file is its own
        // business.
        const std::string_view file = std::string_view(name).substr(name.find_last_of('/') + 1);
        mail.body += '\n' + Row(HeaderSafe(file), GroupDigits(static_cast<std::int64_t>(size)));
        mail.body += '\n';
    }
    return mail;
}

}  // namespace kov
