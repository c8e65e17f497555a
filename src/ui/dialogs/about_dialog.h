#pragma once

#include <QDialog>

namespace kov {

// The program's name, version and licence.
class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);

    static QString VersionText();
    static QString LicenceText();
};

}  // namespace kov
