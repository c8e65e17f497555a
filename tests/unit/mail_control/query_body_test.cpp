#include "mail_control/query_body.h"

#include <gtest/gtest.h>

#include <string>

namespace kov {
namespace {

const std::string kList = "<URLIST>\r\n<VERSION 1.0/>\r\n</URLIST>\r\n";
// kList in base64, wrapped as mail programs do.
const std::string kListBase64 = "PFVSTElTVD4NCjxWRVJTSU9OIDEuMC8+DQo8\r\nL1VSTElTVD4NCg==\r\n";

TEST(QueryBody, EncodedAndMultipartQueriesAreReadOrRefusedWithAReason) {
    const std::string mixed = "Content-Type: multipart/mixed; boundary=\"outer\"\r\n\r\n";
    const struct {
        const char* name;
        std::string message;
        std::string text;     // expected body text
        std::string problem;  // expected refusal
    } cases[] = {
        {"plain", "Subject: q\r\n\r\n" + kList, kList, ""},
        {"base64", "Content-Transfer-Encoding: base64\r\n\r\n" + kListBase64, kList, ""},
        {"quoted-printable",
         "Content-Transfer-Encoding: Quoted-Printable\r\n\r\n<URLIST>=0D=0A<VERSION 1.0/>=\r\n\r\n"
         "</URL=\r\nIST>\r\n",
         "<URLIST>\r\n<VERSION 1.0/>\r\n</URLIST>\r\n", ""},
        {"multipart, list in the second part",
         mixed +
             "preamble\r\n--outer\r\nContent-Type: text/plain\r\n\r\nHello\r\n--outer\r\n"
             "Content-Type: text/plain; charset=utf-8\r\nContent-Transfer-Encoding: base64\r\n"
             "\r\n" +
             kListBase64 + "--outer--\r\n",
         kList, ""},
        {"nested alternative",
         mixed +
             "--outer\r\nContent-Type: multipart/alternative; boundary=inner\r\n\r\n"
             "--inner\r\nContent-Type: text/html\r\n\r\n<p>x</p>\r\n--inner\r\n\r\n" +
             kList + "--inner--\r\n--outer--\r\n",
         kList.substr(0, kList.size() - 2), ""},  // the last line break belongs to the delimiter
        {"bad base64", "Content-Transfer-Encoding: base64\r\n\r\nPFVS*TElTVD4\r\n", "",
         "body is not valid base64"},
        {"unknown encoding", "Content-Transfer-Encoding: x-uuencode\r\n\r\nbegin 644 q\r\n", "",
         "unknown transfer encoding x-uuencode"},
        {"no boundary", "Content-Type: multipart/mixed\r\n\r\n--x\r\n\r\n" + kList, "",
         "multipart message without a boundary"},
        {"no list in any part", mixed + "--outer\r\n\r\nHello\r\n--outer--\r\n", "",
         "no part of the multipart message holds a URL list"},
        {"attachment only",
         "Content-Type: application/octet-stream\r\nContent-Transfer-Encoding: base64\r\n\r\n" +
             kListBase64,
         "", "content type application/octet-stream is not text"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QueryBody body = DecodeQueryBody(Pop3Message(c.message));
        EXPECT_EQ(body.text, c.text);
        EXPECT_EQ(body.problem, c.problem);
    }
    // Nesting without end is refused, not followed.
    std::string deep = "Content-Type: multipart/mixed; boundary=b0\r\n\r\n";
    for (int i = 0; i < 10; ++i) {
        deep += "--b" + std::to_string(i) + "\r\nContent-Type: multipart/mixed; boundary=b" +
                std::to_string(i + 1) + "\r\n\r\n";
    }
    deep += kList;
    EXPECT_EQ(DecodeQueryBody(Pop3Message(deep)).problem, "multipart message nested too deeply");
}

}  // namespace
}  // namespace kov
