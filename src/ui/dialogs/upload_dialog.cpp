#include "ui/dialogs/upload_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "core/language/ui_text_ids.h"
#include "ui/app/ui_text.h"
#include "ui/widgets/dialog_buttons.h"

namespace kov {

namespace {

QLineEdit* Line(QWidget* parent, const std::string& text, std::size_t capacity) {
    auto* edit = new QLineEdit(QString::fromStdString(text), parent);
    edit->setMaxLength(static_cast<int>(capacity));
    return edit;
}

}  // namespace

UploadDialog::UploadDialog(const UrlItem& item, QWidget* parent) : QDialog(parent) {
    setWindowTitle(UiText(kGuiDlgUploadTitle, "Upload Result on FTP server"));
    auto* top = new QVBoxLayout(this);
    m_active = new QCheckBox(UiText(kGuiUploadIsActive, "Upload after download"), this);
    m_active->setChecked(item.Upload != 0);
    top->addWidget(m_active);
    auto* form = new QFormLayout;
    m_server = Line(this, item.UploadServer, UrlItem::kUploadServerCapacity);
    m_folder = Line(this, item.UploadFolder, UrlItem::kUploadServerCapacity);
    m_login = Line(this, item.UploadLogin, UrlItem::kUploadLoginCapacity);
    m_password = Line(this, item.UploadPassword, UrlItem::kUploadLoginCapacity);
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(UiText(kGuiUploadServer, "FTP server"), m_server);
    form->addRow(UiText(kGuiUploadFolder, "Folder"), m_folder);
    form->addRow(UiText(kGuiUploadLogin, "Login"), m_login);
    form->addRow(UiText(kGuiUploadPassword, "Password"), m_password);
    top->addLayout(form);
    top->addWidget(MakeOkCancelButtons(this));
    resize(420, sizeHint().height());
}

void UploadDialog::ApplyTo(UrlItem& item) const {
    item.Upload = m_active->isChecked() ? 1 : 0;
    item.UploadServer = m_server->text().trimmed().toStdString();
    item.UploadFolder = m_folder->text().trimmed().toStdString();
    item.UploadLogin = m_login->text().toStdString();
    item.UploadPassword = m_password->text().toStdString();
}

}  // namespace kov
