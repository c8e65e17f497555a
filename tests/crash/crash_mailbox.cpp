// The mailbox of the crash tests' mail case: dovecot's POP3 server holding N queries, query i
// asking for URL_PREFIX + i + ".bin". Prints "PORT MAILDIR"; then for each line on standard
// input the number of messages in the mailbox, after putting the N queries in again when the
// line is "refill" (the same messages: a poll that took them before must not take them again).
// Stops at the end of the input.
//   crash_mailbox N URL_PREFIX PASSPHRASE

#include <iostream>
#include <string>

#include "mail_control/query_message.h"
#include "support/pop3_server.h"
#include "support/test_ca.h"

namespace {

bool Fill(kov::test::Pop3Server& pop3, int count, const std::string& prefix,
          const std::string& passphrase) {
    for (int i = 1; i <= count; ++i) {
        kov::UrlItem item = kov::FreshItem();
        item.Name = "q" + std::to_string(i);
        item.Url = prefix + std::to_string(i) + ".bin";
        const std::string text =
            "From: a@kov.test\r\nTo: b@kov.test\r\nSubject: #KOVQUERY:" + passphrase +
            "\r\nMessage-ID: <" + std::to_string(i) + "@kov.test>\r\n\r\n\r\n" +
            kov::ItemQueryText(item) + "\r\n";
        if (!pop3.AddMessage(text)) return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return 2;
    kov::test::TestCa ca;
    kov::test::Pop3Server pop3;
    if (!kov::test::Pop3Server::Available() || !ca.Make() || !pop3.Start(ca)) {
        std::cerr << "dovecot (as root) or openssl is missing\n";
        return 1;
    }
    const int count = std::stoi(argv[1]);
    if (!Fill(pop3, count, argv[2], argv[3])) return 1;
    std::cout << pop3.Port() << ' ' << pop3.Maildir() << std::endl;
    for (std::string line; std::getline(std::cin, line);) {
        if (line == "refill" && !Fill(pop3, count, argv[2], argv[3])) return 1;
        std::cout << pop3.Count() << std::endl;
    }
    return 0;
}
