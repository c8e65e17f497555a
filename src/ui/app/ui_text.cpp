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

QString UiToolTip(int id) {
    return QString::fromStdString(Texts().ToolTipOrNotFound(id));
}

}  // namespace kov
