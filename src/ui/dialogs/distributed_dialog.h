#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "core/settings/app_settings.h"
#include "model/macro_expander.h"
#include "model/url_item.h"
#include "ui/window/query_line.h"

class QCheckBox;
class QDialogButtonBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QVBoxLayout;

namespace kov {

class BackgroundTask;
class Prompter;

// Splitting an item between installations: whether it is distributed, the file size from the
// server, the part count and own part number with the part size lines, writing the part
// definitions, mailing portion queries to the checked hosts, and merging the part files. The
// network and disk work runs on a thread of its own. OK stores the fields into the item;
// Cancel leaves it as it was.
class DistributedDialog : public QDialog {
    Q_OBJECT
public:
    // line: the dial-up line for the portion queries and the program log for their results.
    DistributedDialog(const UrlItem& item, const AppSettings& settings, const MacroContext& macros,
                      Prompter& prompter, QWidget* parent = nullptr, QueryLine line = {});
    ~DistributedDialog() override;

    // The item with the dialog's fields.
    const UrlItem& Item() const { return m_item; }
    // The part size lines as shown.
    QString PartInfoText() const;
    QString LogText() const;
    bool Busy() const;

    QCheckBox* ActiveBox() const { return m_active; }
    QSpinBox* PartCountBox() const { return m_count; }
    QSpinBox* PartNumberBox() const { return m_number; }
    // Host rows in table order; the checked ones get portions.
    QListWidget* HostList() const { return m_hosts; }

    // The buttons' actions.
    void GetFileSize();
    void BuildDefinitions();
    void SendQueries();
    void Merge(const std::string& target);

signals:
    // A file size probe, a send or a merge is over.
    void workFinished();

protected:
    void reject() override;

private:
    void Build();
    void BuildParts(QVBoxLayout* layout);
    QGroupBox* BuildHosts();
    void UpdateInfo();
    void SetBusy(bool busy);
    void AddLog(const QString& line);
    void ChooseMergeTarget();
    void SendOnLine(const std::vector<std::size_t>& chosen);

    QueryLine m_line;
    bool m_waitingForLine = false;
    bool m_holdsLine = false;
    UrlItem m_item;
    std::shared_ptr<const AppSettings> m_settings;
    MacroContext m_macros;
    Prompter& m_prompter;
    std::unique_ptr<BackgroundTask> m_task;
    QCheckBox* m_active = nullptr;
    QPushButton* m_sizeButton = nullptr;
    QSpinBox* m_count = nullptr;
    QSpinBox* m_number = nullptr;
    QLabel* m_info = nullptr;
    QListWidget* m_hosts = nullptr;
    QPlainTextEdit* m_log = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_buildButton = nullptr;
    QPushButton* m_sendButton = nullptr;
    QPushButton* m_mergeButton = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

// The item editor's "Distributed" button: on OK the dialog's distributed-download fields go
// into item, and the result is true.
bool ShowDistributed(QWidget* parent, UrlItem& item, const AppSettings& settings,
                     const MacroContext& macros, Prompter& prompter, const QueryLine& line = {});

}  // namespace kov
