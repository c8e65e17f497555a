#include "ui/dialogs/list_properties_dialog.h"

#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/language/ui_text_ids.h"
#include "model/list_document.h"
#include "ui/app/ui_text.h"
#include "ui/widgets/dialog_buttons.h"

namespace kov {

namespace {

QString Q(const std::string& text) {
    return QString::fromStdString(text);
}

constexpr const char* kInvalidStyle = "QLineEdit { border: 1px solid #d00000; }";
constexpr const char* kInvalidLabel = "QLabel { color: #d00000; }";

}  // namespace

ListPropertiesDialog::ListPropertiesDialog(ListDocument& document, std::optional<std::size_t> index,
                                           QWidget* parent)
    : QDialog(parent), m_document(document), m_index(index) {
    if (m_index && !m_document.GetList(*m_index)) m_index.reset();
    setWindowTitle(m_index ? UiText(kGuiListProperties, "List Properties")
                           : UiText(kGuiNewListProperties, "New List Properties"));
    const ListRecord record =
        m_index ? *m_document.GetList(*m_index) : ListDocument::ProposeNewList("");
    m_name = new QLineEdit(Q(record.Name), this);
    m_name->setMaxLength(static_cast<int>(ListRecord::kNameCapacity));
    m_file = new QLineEdit(Q(record.FileName), this);
    m_file->setMaxLength(static_cast<int>(ListRecord::kPathCapacity));
    m_folder = new QLineEdit(Q(record.SaveFolder), this);
    m_folder->setMaxLength(static_cast<int>(ListRecord::kPathCapacity));

    auto withButton = [this](QLineEdit* field, void (ListPropertiesDialog::*browse)()) {
        auto* row = new QHBoxLayout;
        row->addWidget(field, 1);
        auto* button = new QPushButton("...", this);
        button->setFixedWidth(button->fontMetrics().horizontalAdvance("...") + 24);
        connect(button, &QPushButton::clicked, this, browse);
        if (field == m_file) m_fileButton = button;
        row->addWidget(button);
        return row;
    };
    auto* form = new QFormLayout;
    m_nameLabel = new QLabel(UiText(kGuiListName, "List name"), this);
    m_fileLabel = new QLabel(UiText(kGuiListFileName, "List file"), this);
    form->addRow(m_nameLabel, m_name);
    form->addRow(m_fileLabel, withButton(m_file, &ListPropertiesDialog::BrowseFile));
    form->addRow(UiText(kGuiListFolder, "Save folder"),
                 withButton(m_folder, &ListPropertiesDialog::BrowseFolder));
    m_buttons = MakeOkCancelButtons(this);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(m_buttons);

    if (!m_index) connect(m_name, &QLineEdit::textEdited, this, &ListPropertiesDialog::NameEdited);
    connect(m_name, &QLineEdit::textChanged, this, &ListPropertiesDialog::Validate);
    connect(m_file, &QLineEdit::textChanged, this, &ListPropertiesDialog::Validate);
    Validate();
    resize(520, sizeHint().height());
}

void ListPropertiesDialog::NameEdited(const QString& name) {
    // The proposal follows the name until a file has been picked by hand.
    if (m_fileChosen) return;
    const ListRecord proposal = ListDocument::ProposeNewList(name.toStdString());
    m_file->setText(Q(proposal.FileName));
    m_folder->setText(Q(proposal.SaveFolder));
}

bool ListPropertiesDialog::CanAccept() const {
    return !m_name->text().trimmed().isEmpty() && !m_file->text().trimmed().isEmpty();
}

void ListPropertiesDialog::Validate() {
    const bool noName = m_name->text().trimmed().isEmpty();
    const bool noFile = m_file->text().trimmed().isEmpty();
    m_name->setStyleSheet(noName ? kInvalidStyle : "");
    m_file->setStyleSheet(noFile ? kInvalidStyle : "");
    // The empty field's caption turns red too and its tooltip names what is missing.
    m_nameLabel->setStyleSheet(noName ? kInvalidLabel : "");
    m_fileLabel->setStyleSheet(noFile ? kInvalidLabel : "");
    m_name->setToolTip(noName ? m_nameLabel->text() + " ?" : QString());
    m_file->setToolTip(noFile ? m_fileLabel->text() + " ?" : QString());
    m_buttons->button(QDialogButtonBox::Ok)->setEnabled(!noName && !noFile);
}

void ListPropertiesDialog::TakeChosenFile(const QString& path) {
    if (path.isEmpty()) return;
    m_fileChosen = true;
    m_file->setText(path);
    const QFileInfo info(path);
    if (m_name->text().isEmpty()) m_name->setText(info.completeBaseName());
    if (m_folder->text().isEmpty()) m_folder->setText(info.absolutePath() + "/");
}

void ListPropertiesDialog::BrowseFile() {
    QFileDialog dialog(this, UiText(kGuiListFileName, "List file"));
    dialog.setNameFilters({UiText(kGuiFilterIni, ""), UiText(kGuiFilterAll, "")});
    dialog.setDefaultSuffix("ini");
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
        TakeChosenFile(dialog.selectedFiles().front());
    }
}

void ListPropertiesDialog::BrowseFolder() {
    const QString folder = QFileDialog::getExistingDirectory(
        this, UiText(kTextChooseFolder, "Choose a folder"), m_folder->text());
    if (!folder.isEmpty()) m_folder->setText(folder.endsWith('/') ? folder : folder + "/");
}

void ListPropertiesDialog::LockFile() {
    m_file->setEnabled(false);
    if (m_fileButton) m_fileButton->setEnabled(false);
}

void ListPropertiesDialog::accept() {
    if (!CanAccept()) {
        (m_name->text().trimmed().isEmpty() ? m_name : m_file)->setFocus();
        return;
    }
    ListRecord record;
    record.Name = m_name->text().trimmed().toStdString();
    record.FileName = m_file->text().trimmed().toStdString();
    record.SaveFolder = m_folder->text().trimmed().toStdString();
    if (!m_document.ApplyListProperties(m_index, record)) return;
    QDialog::accept();
}

}  // namespace kov
