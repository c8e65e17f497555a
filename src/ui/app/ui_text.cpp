#include "ui/app/ui_text.h"

#include "core/language/localiser.h"
#include "core/language/ui_text_ids.h"

namespace kov {

QString UiText(int id, const char* english) {
    // A key of the language files has its own built-in English; the window's other texts
    // bring theirs.
    const char* builtIn = BuiltInText(id);
    return QString::fromStdString(Texts().GetText(id, builtIn && *builtIn ? builtIn : english));
}

QString UiTextWith(int id, const char* english, std::initializer_list<QString> values) {
    const QString text = UiText(id, english);
    const QString mark = QStringLiteral("%s");
    QString filled;
    auto value = values.begin();
    qsizetype from = 0;
    for (qsizetype at = text.indexOf(mark); at >= 0; at = text.indexOf(mark, from)) {
        filled += text.mid(from, at - from);
        if (value != values.end()) filled += *value++;
        from = at + mark.size();
    }
    return filled + text.mid(from);
}

QString UiToolTip(int id) {
    return QString::fromStdString(Texts().ToolTipOrNotFound(id));
}

}  // namespace kov
