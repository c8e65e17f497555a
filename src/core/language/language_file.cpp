#include "core/language/language_file.h"

#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"

namespace kov {

namespace {

template <typename Entries>
void AppendSection(std::string& out, const char* section, const Entries& entries) {
    out += "\n[";
    out += section;
    out += "]\n";
    for (const auto& e : entries) {
        out += e.key;
        out += '=';
        out += e.text;
        out += '\n';
    }
}

}  // namespace

std::string BuiltInLanguageFile() {
    std::string out =
        "; Kov language file: English, written from the program's built-in texts.\n"
        "; To translate, copy it to Lang/<Language>.lng and change the texts after '='.\n"
        "; Keep '&' (menu keys) and every %-conversion in its order; an empty or missing\n"
        "; text keeps the English one.\n";
    AppendSection(out, "GUI", GuiTextTable());
    AppendSection(out, "ToolTips", ToolTipTable());
    AppendSection(out, "Strings", MessageTable());
    return out;
}

}  // namespace kov
