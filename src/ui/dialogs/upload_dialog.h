#pragma once

#include <QDialog>

#include "model/url_item.h"

class QCheckBox;
class QLineEdit;

namespace kov {

// "Upload Result on FTP server": the upload fields of an item. Works on a copy; the caller
// takes ApplyTo() after OK.
class UploadDialog : public QDialog {
    Q_OBJECT
public:
    explicit UploadDialog(const UrlItem& item, QWidget* parent = nullptr);

    // Writes Upload, UploadServer, UploadFolder, UploadLogin and UploadPassword into item.
    void ApplyTo(UrlItem& item) const;

private:
    QCheckBox* m_active = nullptr;
    QLineEdit* m_server = nullptr;
    QLineEdit* m_folder = nullptr;
    QLineEdit* m_login = nullptr;
    QLineEdit* m_password = nullptr;
};

}  // namespace kov
