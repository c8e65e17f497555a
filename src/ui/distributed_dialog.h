#pragma once

#include <QDialog>
#include <memory>
#include <string>

#include "core/app_settings.h"
#include "model/macro_expander.h"
#include "model/url_item.h"

class QCheckBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

namespace kov {

class Prompter;

// Splitting an item between installations: whether it is distributed, the file size from the
// server, the part count and own part number with the part size lines, writing the part
// definitions, mailing portion queries to checked hosts, and merging the part files. OK stores
// the fields into the item; Cancel leaves it as it was.
class DistributedDialog : public QDialog {
    Q_OBJECT
public:
    DistributedDialog(const UrlItem& item, const AppSettings& settings, const MacroContext& macros,
                      Prompter& prompter, QWidget* parent = nullptr);
    ~DistributedDialog() override;

    // The item with the dialog's fields.
    const UrlItem& Item() const { return m_item; }
    // The part size lines as shown.
    QString PartInfoText() const;
    QString SendLog() const;
    bool Busy() const;

    void SetActive(bool active);
    void SetPartCount(int count);
    void SetPartNumber(int number);
    // Host rows in table order; checked ones get portions.
    void SetHostChecked(int row, bool checked);

    // The buttons' actions.
    void GetFileSize();
    void BuildDefinitions();
    void SendQueries();
    void Merge(const std::string& target);

signals:
    void workFinished();

private:
    struct WorkState;
    void Build();
    void UpdateInfo();
    void SetBusy(bool busy);
    void RunInBackground(std::function<std::function<void()>(WorkState&)> work);

    UrlItem m_item;
    AppSettings m_settings;
    MacroContext m_macros;
    Prompter& m_prompter;
    std::shared_ptr<WorkState> m_state;
    QCheckBox* m_active = nullptr;
    QSpinBox* m_count = nullptr;
    QSpinBox* m_number = nullptr;
    QLabel* m_info = nullptr;
    QListWidget* m_hosts = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_sizeButton = nullptr;
    QPushButton* m_buildButton = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_mergeButton = nullptr;
};

// The item editor's "Distributed" button: on OK the dialog's fields go into item. True then.
bool ShowDistributed(QWidget* parent, UrlItem& item, const AppSettings& settings,
                     const MacroContext& macros, Prompter& prompter);

}  // namespace kov
