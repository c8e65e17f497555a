#include "ui/dialogs/rule_editor_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStyle>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "content/rules/replace_folder.h"
#include "content/rules/text_replacer.h"
#include "core/language/message_table.h"
#include "core/language/ui_text_ids.h"
#include "ui/app/background_task.h"
#include "ui/app/ui_text.h"
#include "ui/widgets/dialog_buttons.h"

namespace kov {

namespace {

QString Q(const std::string& s) {
    return QString::fromStdString(s);
}
std::string S(const QString& s) {
    return s.toStdString();
}

std::string WithSlash(std::string folder) {
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

}  // namespace

int RuleEditorDialog::ActionTextId(int action) {
    // The language files keep the four names in the order of the dialog's old list, which is
    // not the order of the action values.
    switch (action) {
        case kActionCutFromBeginning:
            return kGuiSRMethod3;
        case kActionCutToEnd:
            return kGuiSRMethod4;
        case kActionCutBetween:
            return kGuiSRMethod2;
        default:
            return kGuiSRMethod1;
    }
}

RuleEditorDialog::RuleEditorDialog(std::vector<ReplaceRule> rules, QWidget* parent)
    : QDialog(parent), m_rules(std::move(rules)) {
    setWindowTitle(UiText(kGuiSRTitle, "Search and Replace"));
    auto* top = new QVBoxLayout(this);
    BuildRuleFields(top);
    BuildButtons(top);
    BuildResults(top);
    top->addWidget(MakeOkCancelButtons(this));
    resize(620, 480);
    Fill();
    if (!m_rules.empty()) m_list->setCurrentItem(m_list->topLevelItem(0));
    ShowRule(m_rules.empty() ? -1 : 0);
}

// The rule list and the fields of the rule chosen in it.
void RuleEditorDialog::BuildRuleFields(QVBoxLayout* top) {
    m_list = new QTreeWidget(this);
    m_list->setRootIsDecorated(false);
    m_list->setHeaderLabels({UiText(kGuiSRString1, "String1"), UiText(kGuiSRString2, "String2"),
                             UiText(kGuiSRAction, "Action")});
    m_list->header()->setSectionResizeMode(QHeaderView::Stretch);
    top->addWidget(m_list, 2);

    auto* form = new QFormLayout;
    m_find = new QLineEdit(this);
    m_find->setMaxLength(static_cast<int>(ReplaceRule::kTextCapacity));
    m_replace = new QLineEdit(this);
    m_replace->setMaxLength(static_cast<int>(ReplaceRule::kTextCapacity));
    m_action = new QComboBox(this);
    for (int a = kActionReplace; a <= kActionCutBetween; ++a)
        m_action->addItem(UiText(ActionTextId(a), ""), a);
    form->addRow(UiText(kGuiSRString1, "String1"), m_find);
    form->addRow(UiText(kGuiSRString2, "String2"), m_replace);
    form->addRow(UiText(kGuiSRAction, "Action"), m_action);
    top->addLayout(form);

    auto* flags = new QHBoxLayout;
    m_ignoreCase = new QCheckBox(UiText(kGuiSRIgnoreCase, "Ignore Case"), this);
    m_multiple = new QCheckBox(UiText(kGuiSRMultiple, "Find all occurences"), this);
    flags->addWidget(m_ignoreCase);
    flags->addWidget(m_multiple);
    flags->addStretch();
    top->addLayout(flags);

    connect(m_list, &QTreeWidget::currentItemChanged, this,
            [this] { ShowRule(m_list->indexOfTopLevelItem(m_list->currentItem())); });
    connect(m_action, &QComboBox::currentIndexChanged, this, [this] { ActionChanged(); });
}

// The row of buttons that edit the list and apply it to files.
void RuleEditorDialog::BuildButtons(QVBoxLayout* top) {
    auto* buttons = new QHBoxLayout;
    m_update = new QPushButton(UiText(kGuiUpdate, "Update"), this);
    auto* add = new QPushButton(UiText(kGuiAdd, "Add"), this);
    m_delete = new QPushButton(UiText(kGuiDelete, "Delete"), this);
    auto* up = new QPushButton(style()->standardIcon(QStyle::SP_ArrowUp), QString(), this);
    up->setToolTip(UiToolTip(kTipSRMoveUp));
    auto* down = new QPushButton(style()->standardIcon(QStyle::SP_ArrowDown), QString(), this);
    down->setToolTip(UiToolTip(kTipSRMoveDown));
    m_apply = new QPushButton(UiText(kGuiSRApplyToFolder, "Apply to Folder..."), this);
    m_apply->setToolTip(UiToolTip(kGuiSRApplyToFolder));
    m_restore = new QPushButton(style()->standardIcon(QStyle::SP_BrowserReload), QString(), this);
    m_restore->setObjectName("restore");
    m_restore->setToolTip(UiToolTip(kTipUndoReplace));
    for (QPushButton* b : {m_update, add, m_delete, up, down, m_apply, m_restore}) {
        b->setAutoDefault(false);
        buttons->addWidget(b);
    }
    buttons->addStretch();
    top->addLayout(buttons);

    connect(m_update, &QPushButton::clicked, this, [this] { UpdateRule(); });
    connect(add, &QPushButton::clicked, this, [this] { AddRule(); });
    connect(m_delete, &QPushButton::clicked, this, [this] { DeleteRule(); });
    connect(up, &QPushButton::clicked, this, [this] { MoveRule(-1); });
    connect(down, &QPushButton::clicked, this, [this] { MoveRule(1); });
    connect(m_apply, &QPushButton::clicked, this,
            [this] { ChooseAndApply(QGuiApplication::keyboardModifiers()); });
    connect(m_restore, &QPushButton::clicked, this,
            [this] { ChooseAndRestore(QGuiApplication::keyboardModifiers()); });
}

// The result list, and the progress of a folder run with its cancel button.
void RuleEditorDialog::BuildResults(QVBoxLayout* top) {
    m_results = new QTreeWidget(this);
    m_results->setRootIsDecorated(false);
    m_results->setHeaderLabels(
        {UiText(kGuiSRResultFile, "Filename"), UiText(kGuiSRResults, "Results")});
    m_results->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    top->addWidget(m_results, 1);

    // A folder run works in the background: the window stays responsive and can stop it.
    auto* run = new QHBoxLayout;
    m_progress = new QProgressBar(this);
    m_progress->setObjectName("progress");
    m_progress->setFormat(QStringLiteral("%v / %m"));
    m_cancelRun = new QPushButton(UiText(kGuiCancel, "Cancel"), this);
    m_cancelRun->setObjectName("cancelRun");
    m_cancelRun->setAutoDefault(false);
    run->addWidget(m_progress, 1);
    run->addWidget(m_cancelRun);
    top->addLayout(run);
    m_progress->hide();
    m_cancelRun->hide();
    m_task = std::make_unique<BackgroundTask>(this);
    connect(m_cancelRun, &QPushButton::clicked, this, [this] { CancelRun(); });
}

RuleEditorDialog::~RuleEditorDialog() = default;

void RuleEditorDialog::Fill() {
    const int current = m_list->indexOfTopLevelItem(m_list->currentItem());
    const QSignalBlocker block(m_list);
    m_list->clear();
    for (const ReplaceRule& r : m_rules) {
        auto* item = new QTreeWidgetItem(m_list);
        item->setText(0, Q(r.find));
        item->setText(1, Q(r.replace));
        item->setText(2, UiText(ActionTextId(r.action), ""));
    }
    if (current >= 0 && current < m_list->topLevelItemCount())
        m_list->setCurrentItem(m_list->topLevelItem(current));
}

void RuleEditorDialog::ShowRule(int index) {
    const bool valid = index >= 0 && index < static_cast<int>(m_rules.size());
    const ReplaceRule rule = valid ? m_rules[static_cast<std::size_t>(index)] : ReplaceRule{};
    m_find->setText(Q(rule.find));
    m_replace->setText(Q(rule.replace));
    m_action->setCurrentIndex(m_action->findData(rule.action));
    m_ignoreCase->setChecked(rule.ignoreCase != 0);
    m_multiple->setChecked(rule.multiple != 0);
    m_update->setEnabled(valid);
    m_delete->setEnabled(valid);
    ActionChanged();
}

ReplaceRule RuleEditorDialog::FromFields() const {
    ReplaceRule rule;
    rule.find = S(m_find->text());
    rule.replace = S(m_replace->text());
    rule.action = m_action->currentData().toInt();
    rule.ignoreCase = m_ignoreCase->isChecked() ? 1 : 0;
    rule.multiple = m_multiple->isChecked() ? 1 : 0;
    return rule;
}

void RuleEditorDialog::ActionChanged() {
    const int action = m_action->currentData().toInt();
    // Cutting from the beginning or to the end has no second string.
    m_replace->setEnabled(action != kActionCutFromBeginning && action != kActionCutToEnd);
}

void RuleEditorDialog::UpdateRule() {
    const int index = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (index < 0 || m_find->text().isEmpty()) return;  // an empty find text ends a list
    ReplaceRule& rule = m_rules[static_cast<std::size_t>(index)];
    const std::string id = rule.id;
    rule = FromFields();
    rule.id = id;
    Fill();
}

void RuleEditorDialog::AddRule() {
    if (m_find->text().isEmpty() || m_rules.size() >= UrlItem::kMaxRules) return;
    m_rules.push_back(FromFields());
    Fill();
    m_list->setCurrentItem(m_list->topLevelItem(static_cast<int>(m_rules.size()) - 1));
}

void RuleEditorDialog::DeleteRule() {
    const int index = m_list->indexOfTopLevelItem(m_list->currentItem());
    if (index < 0) return;
    m_rules.erase(m_rules.begin() + index);
    Fill();
    const int next = std::min(index, static_cast<int>(m_rules.size()) - 1);
    if (next >= 0) m_list->setCurrentItem(m_list->topLevelItem(next));
    ShowRule(next);
}

void RuleEditorDialog::MoveRule(int delta) {
    const int index = m_list->indexOfTopLevelItem(m_list->currentItem());
    const int other = index + delta;
    if (index < 0 || other < 0 || other >= static_cast<int>(m_rules.size())) return;
    std::swap(m_rules[static_cast<std::size_t>(index)], m_rules[static_cast<std::size_t>(other)]);
    Fill();
    m_list->setCurrentItem(m_list->topLevelItem(other));
}

void RuleEditorDialog::AddResult(const QString& file, const QString& result) {
    auto* line = new QTreeWidgetItem(m_results);
    line->setText(0, file);
    line->setText(1, result);
    m_results->scrollToItem(line);
}

std::vector<std::pair<QString, QString>> RuleEditorDialog::ResultLines() const {
    std::vector<std::pair<QString, QString>> lines;
    for (int i = 0; i < m_results->topLevelItemCount(); ++i) {
        const QTreeWidgetItem* line = m_results->topLevelItem(i);
        lines.emplace_back(line->text(0), line->text(1));
    }
    return lines;
}

bool RuleEditorDialog::ChooseAndApply(Qt::KeyboardModifiers modifiers) {
    std::string target;
    if (modifiers.testFlag(Qt::ShiftModifier) && !m_lastFolder.empty()) {
        target = m_lastFolder;
    } else {
        const QString file = QFileDialog::getOpenFileName(
            this, UiText(kGuiSRApplyToFolder, "Apply to Folder..."), Q(m_lastFolder));
        if (file.isEmpty()) return false;
        m_lastFolder = WithSlash(S(QFileInfo(file).absolutePath()));
        target = modifiers.testFlag(Qt::ControlModifier) ? S(file) : m_lastFolder;
    }
    return ApplyTo(target);
}

bool RuleEditorDialog::ChooseAndRestore(Qt::KeyboardModifiers modifiers) {
    if (m_lastFolder.empty()) {
        const QString folder = QFileDialog::getExistingDirectory(this, UiToolTip(kTipUndoReplace));
        if (folder.isEmpty()) return false;
        m_lastFolder = WithSlash(S(folder));
    }
    return RestoreFrom(m_lastFolder, modifiers.testFlag(Qt::ShiftModifier));
}

bool RuleEditorDialog::Busy() const {
    return m_task->Running();
}

void RuleEditorDialog::CancelRun() {
    m_task->RequestStop();
}

void RuleEditorDialog::RunStarted(int files) {
    m_progress->setRange(0, files);  // 0..0 while the count is not known: a busy bar
    m_progress->setValue(0);
    m_progress->show();
    m_cancelRun->show();
    m_apply->setEnabled(false);
    m_restore->setEnabled(false);
}

void RuleEditorDialog::RunEnded(bool cancelled) {
    if (cancelled) AddResult(QString(), UiText(kGuiSRCancelled, ""));
    m_progress->hide();
    m_cancelRun->hide();
    m_apply->setEnabled(true);
    m_restore->setEnabled(true);
}

bool RuleEditorDialog::ApplyTo(const std::string& target) {
    if (Busy()) return false;
    if (!target.empty() && target.back() == '/') m_lastFolder = target;
    const std::string masks = m_masks.empty() ? std::string(kDefaultReplaceMasks) : m_masks;
    RunStarted(0);
    return m_task->Run([this, target, masks, rules = m_rules](
                           const std::atomic<int>& stop,
                           const BackgroundTask::Post& post) -> std::function<void()> {
        const std::vector<std::string> files = ReplaceTargets(target, masks);
        post([this, total = static_cast<int>(files.size())] { m_progress->setMaximum(total); });
        int value = 0;
        const auto report = [&](const FileReplaceResult& r) {
            post([this, file = Q(r.path), result = r.failed ? Q(r.error) : QString::number(r.count),
                  done = ++value] {
                AddResult(file, result);
                m_progress->setValue(done);
            });
        };
        const std::size_t done = ApplyToFiles(files, rules, report, &stop);
        return [this, target, none = files.empty(), cancelled = done < files.size()] {
            if (none) AddResult(Q(target), Q(GetString(EventCode::NoFilesToReplace)));
            RunEnded(cancelled);
        };
    });
}

bool RuleEditorDialog::RestoreFrom(const std::string& folder, bool deleteBackups) {
    if (Busy()) return false;
    RunStarted(0);
    return m_task->Run(
        [this, folder, deleteBackups](const std::atomic<int>& stop,
                                      const BackgroundTask::Post&) -> std::function<void()> {
            std::vector<std::string> failures;
            const std::size_t restored = RestoreFolder(folder, deleteBackups, &failures, &stop);
            return [this, folder, restored, failures, cancelled = stop.load() >= 2] {
                AddResult(Q(folder), QStringLiteral("%1 %2").arg(restored).arg(
                                         Q(GetString(EventCode::FilesRestored))));
                for (const std::string& f : failures)
                    AddResult(Q(f), Q(GetString(EventCode::Error)));
                RunEnded(cancelled);
            };
        });
}

}  // namespace kov
