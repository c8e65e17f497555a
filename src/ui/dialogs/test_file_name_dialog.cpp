#include "ui/dialogs/test_file_name_dialog.h"

#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"

namespace kov {

TestFileNameDialog::TestFileNameDialog(const QString& path, QWidget* parent) : QDialog(parent) {
    setWindowTitle(UiText(kGuiTestDlgTitle, "Test file name"));
    auto* top = new QVBoxLayout(this);
    auto* shown = new QLineEdit(path, this);
    shown->setReadOnly(true);
    shown->setObjectName("path");
    top->addWidget(shown);
    auto* box = new QDialogButtonBox(this);
    auto* open = box->addButton(UiText(kGuiTestOpenFile, "Open in registered application"),
                                QDialogButtonBox::ActionRole);
    open->setEnabled(QFileInfo::exists(path));
    box->addButton(UiText(kGuiOK, "OK"), QDialogButtonBox::AcceptRole);
    top->addWidget(box);
    connect(open, &QPushButton::clicked, this,
            [path] { QDesktopServices::openUrl(QUrl::fromLocalFile(path)); });
    connect(box, &QDialogButtonBox::accepted, this, &QDialog::accept);
    resize(520, sizeHint().height());
}

}  // namespace kov
