#include "ui/widgets/dialog_buttons.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QPushButton>

#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"

namespace kov {

QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog) {
    auto* box = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, dialog);
    box->button(QDialogButtonBox::Ok)->setText(UiText(kGuiOK, "OK"));
    box->button(QDialogButtonBox::Cancel)->setText(UiText(kGuiCancel, "Cancel"));
    // Through the virtual functions, so a dialog's own accept() runs its checks.
    QObject::connect(box, &QDialogButtonBox::accepted, dialog, [dialog] { dialog->accept(); });
    QObject::connect(box, &QDialogButtonBox::rejected, dialog, [dialog] { dialog->reject(); });
    return box;
}

}  // namespace kov
