#pragma once

#include <QDialog>

namespace kov {

// "Test file name": the local file a download would write now, with a button that opens it
// in the program registered for its type.
class TestFileNameDialog : public QDialog {
    Q_OBJECT
public:
    explicit TestFileNameDialog(const QString& path, QWidget* parent = nullptr);
};

}  // namespace kov
