#include "web_control/json_writer.h"

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>

namespace kov {
namespace {

std::string Written(std::string_view text) {
    std::string out;
    JsonWriter::AppendString(out, text);
    return out;
}

std::string Reference(std::string_view text) {
    return nlohmann::json(std::string(text))
        .dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

TEST(JsonWriterTest, ValidTextIsWrittenAsTheLibraryWritesIt) {
    const std::string cases[] = {
        "",
        "plain name.zip",
        "quote \" and backslash \\",
        "line\nbreak\ttab\rreturn\b\f",
        std::string("nul \0 and \x1f and \x7f", 17),
        "Grüße € 𝄞",
        "{APPFOLDER}Download/%Y-%m/",
    };
    for (const std::string& text : cases)
        EXPECT_EQ(Written(text), Reference(text)) << text;
}

TEST(JsonWriterTest, BytesThatAreNotUtf8BecomeReplacementCharacters) {
    const std::string cases[] = {
        "\xff", "a\xc3", "\xc0\xaf", "\xed\xa0\x80", "\xf4\x90\x80\x80", "\xe2\x82", "ok\x80ok",
    };
    for (const std::string& text : cases) {
        const std::string written = Written(text);
        const nlohmann::json parsed = nlohmann::json::parse(written, nullptr, false);
        ASSERT_TRUE(parsed.is_string()) << written;
        EXPECT_NE(parsed.get<std::string>().find("\xEF\xBF\xBD"), std::string::npos) << written;
    }
}

TEST(JsonWriterTest, AnObjectOfEveryKindOfValueParses) {
    std::string out;
    JsonWriter w(out);
    w.Open();
    w.Key("n").Number(18446744073709551615u);
    w.Key("s").String("x");
    w.Key("b").Bool(false);
    w.Key("z").Null();
    w.Close();
    EXPECT_EQ(
        nlohmann::json::parse(out),
        (nlohmann::json{{"n", 18446744073709551615u}, {"s", "x"}, {"b", false}, {"z", nullptr}}));
}

}  // namespace
}  // namespace kov
