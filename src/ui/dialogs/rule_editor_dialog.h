#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "model/url_item.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QTreeWidget;
class QVBoxLayout;

namespace kov {

class BackgroundTask;

// Edits one list of search-and-replace rules (an item's, the banner rules, a site's) and
// applies them by hand to the text files of a folder, with a backup of each changed file, or
// restores a folder from those backups. The caller takes Rules() after OK; Cancel leaves its
// own list untouched because the dialog works on a copy.
class RuleEditorDialog : public QDialog {
    Q_OBJECT
public:
    explicit RuleEditorDialog(std::vector<ReplaceRule> rules, QWidget* parent = nullptr);
    ~RuleEditorDialog() override;

    const std::vector<ReplaceRule>& Rules() const { return m_rules; }

    // The masks that pick a folder's text files (the SrFileMasks setting); "" means the
    // default masks.
    void SetFileMasks(std::string masks) { m_masks = std::move(masks); }

    // "Apply to Folder...": asks for a file; its folder is the target, or the file itself with
    // Ctrl; with Shift and a folder chosen before, that folder again without asking. False
    // when nothing was started.
    bool ChooseAndApply(Qt::KeyboardModifiers modifiers);
    // The restore button: the last folder (asked for when there is none); Shift also deletes
    // the backups. False when nothing was started.
    bool ChooseAndRestore(Qt::KeyboardModifiers modifiers);
    // What the two commands do once the target is known; a folder ends with '/'. The work
    // runs in the background with a progress bar and a cancel button, and each file's line
    // reaches the result list as it is done. False when another run is still busy.
    bool ApplyTo(const std::string& target);
    bool RestoreFrom(const std::string& folder, bool deleteBackups);
    // A run is busy; CancelRun stops it between two files.
    bool Busy() const;
    void CancelRun();

    // The result list ("Filename", "Results"), one entry per line.
    std::vector<std::pair<QString, QString>> ResultLines() const;

    // The text id of an action's display name.
    static int ActionTextId(int action);

private:
    void BuildRuleFields(QVBoxLayout* top);
    void BuildButtons(QVBoxLayout* top);
    void BuildResults(QVBoxLayout* top);
    void Fill();
    void ShowRule(int index);
    ReplaceRule FromFields() const;
    void UpdateRule();
    void AddRule();
    void DeleteRule();
    void MoveRule(int delta);
    void ActionChanged();
    void AddResult(const QString& file, const QString& result);
    void RunStarted(int files);
    void RunEnded(bool cancelled);

    std::vector<ReplaceRule> m_rules;
    std::string m_masks;
    std::string m_lastFolder;

    QTreeWidget* m_list = nullptr;
    QLineEdit* m_find = nullptr;
    QLineEdit* m_replace = nullptr;
    QComboBox* m_action = nullptr;
    QCheckBox* m_ignoreCase = nullptr;
    QCheckBox* m_multiple = nullptr;
    QPushButton* m_update = nullptr;
    QPushButton* m_delete = nullptr;
    QTreeWidget* m_results = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_restore = nullptr;
    QProgressBar* m_progress = nullptr;
    QPushButton* m_cancelRun = nullptr;
    // Last: it goes first, so that a run still busy stops and delivers nothing.
    std::unique_ptr<BackgroundTask> m_task;
};

}  // namespace kov
