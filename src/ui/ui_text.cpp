#include "ui/ui_text.h"

namespace kov {

QString UiText(int /*id*/, const char* english) {
    return QString::fromUtf8(english);
}

QString UiToolTip(int id) {
    return QStringLiteral("not found tooltip %1").arg(id);
}

}  // namespace kov
