#pragma once

#include <QDialog>
#include <cstddef>
#include <optional>

#include "core/settings/app_settings.h"

class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace kov {

class ListDocument;

// The name, list file and save folder of a list: a new one (no index) or a registered one.
// Nothing is stored before OK; OK needs a name and a file.
class ListPropertiesDialog : public QDialog {
    Q_OBJECT
public:
    ListPropertiesDialog(ListDocument& document, std::optional<std::size_t> index,
                         QWidget* parent = nullptr);

    QLineEdit* NameField() const { return m_name; }
    QLineEdit* FileField() const { return m_file; }
    QLineEdit* FolderField() const { return m_folder; }
    bool CanAccept() const;
    // What the browse button does with a chosen list file.
    void TakeChosenFile(const QString& path);
    // While a session runs the open list keeps its file: the field and its button are off.
    void LockFile();

    void accept() override;

private:
    void NameEdited(const QString& name);
    void Validate();
    void BrowseFile();
    void BrowseFolder();

    ListDocument& m_document;
    std::optional<std::size_t> m_index;
    bool m_fileChosen = false;
    QLineEdit* m_name = nullptr;
    QLineEdit* m_file = nullptr;
    QPushButton* m_fileButton = nullptr;
    QLineEdit* m_folder = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_fileLabel = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

}  // namespace kov
