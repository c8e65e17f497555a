#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace kov {

// Appends JSON text by hand where building a document first costs too much: the items of a
// list of ten thousand rows must leave the main loop within milliseconds. Strings are written
// as nlohmann's dump with the replace handler writes them: a byte that is not valid UTF-8
// becomes U+FFFD.
class JsonWriter {
public:
    explicit JsonWriter(std::string& out) : m_out(out) {}

    void Open() { Put('{'); }
    void Close() { m_out += '}'; }
    JsonWriter& Key(std::string_view key);  // with the comma before it when needed
    void String(std::string_view text);
    void Number(std::uint64_t n) { m_out += std::to_string(n); }
    void Bool(bool b) { m_out += b ? "true" : "false"; }
    void Null() { m_out += "null"; }

    static void AppendString(std::string& out, std::string_view text);

private:
    void Put(char c);

    std::string& m_out;
    bool m_first = true;
};

}  // namespace kov
