#pragma once

class QDialog;
class QDialogButtonBox;

namespace kov {

// The OK and Cancel row of a dialog, in the loaded language, wired to the dialog's own accept()
// and reject() (so a dialog's checks in accept() run).
QDialogButtonBox* MakeOkCancelButtons(QDialog* dialog);

}  // namespace kov
