#include "ui/prefs_rule_editing.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include "core/ui_text_ids.h"
#include "ui/ui_text.h"

namespace kov {

namespace {

RuleListEditor& Override() {
    static RuleListEditor editor;
    return editor;
}

// A plain table of the rules, one row each.
bool EditInTable(std::vector<ReplaceRule>& rules, QWidget* parent) {
    QDialog dialog(parent);
    dialog.setWindowTitle(UiText(kGuiSRTitle, ""));
    auto* column = new QVBoxLayout(&dialog);
    auto* table = new QTableWidget(0, 5);
    table->setHorizontalHeaderLabels({UiText(kGuiSRString1, ""), UiText(kGuiSRString2, ""),
                                      UiText(kGuiSRAction, ""), UiText(kGuiSRIgnoreCase, ""),
                                      UiText(kGuiSRMultiple, "")});
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    auto addRow = [table](const ReplaceRule& rule) {
        const int r = table->rowCount();
        table->insertRow(r);
        table->setItem(r, 0, new QTableWidgetItem(QString::fromStdString(rule.find)));
        table->setItem(r, 1, new QTableWidgetItem(QString::fromStdString(rule.replace)));
        auto* action = new QSpinBox;
        action->setRange(0, 3);
        action->setValue(rule.action);
        table->setCellWidget(r, 2, action);
        for (int c : {3, 4}) {
            auto* check = new QTableWidgetItem;
            check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
            check->setCheckState((c == 3 ? rule.ignoreCase : rule.multiple) ? Qt::Checked
                                                                            : Qt::Unchecked);
            table->setItem(r, c, check);
        }
    };
    for (const ReplaceRule& rule : rules)
        addRow(rule);
    column->addWidget(table);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton* add = buttons->addButton(UiText(kGuiAdd, ""), QDialogButtonBox::ActionRole);
    QPushButton* remove = buttons->addButton(UiText(kGuiDelete, ""), QDialogButtonBox::ActionRole);
    QObject::connect(add, &QPushButton::clicked, table, [addRow] { addRow(ReplaceRule{}); });
    QObject::connect(remove, &QPushButton::clicked, table, [table] {
        if (table->currentRow() >= 0) table->removeRow(table->currentRow());
    });
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    column->addWidget(buttons);
    dialog.resize(640, 360);
    if (dialog.exec() != QDialog::Accepted) return false;
    std::vector<ReplaceRule> edited;
    for (int r = 0; r < table->rowCount(); ++r) {
        ReplaceRule rule;
        rule.find = table->item(r, 0)->text().toStdString().substr(0, ReplaceRule::kTextCapacity);
        // A rule without a find text would end the list when it is read back.
        if (rule.find.empty()) continue;
        rule.replace =
            table->item(r, 1)->text().toStdString().substr(0, ReplaceRule::kTextCapacity);
        rule.action = static_cast<QSpinBox*>(table->cellWidget(r, 2))->value();
        rule.ignoreCase = table->item(r, 3)->checkState() == Qt::Checked;
        rule.multiple = table->item(r, 4)->checkState() == Qt::Checked;
        edited.push_back(std::move(rule));
    }
    rules = std::move(edited);
    return true;
}

}  // namespace

void SetRuleListEditor(RuleListEditor editor) {
    Override() = std::move(editor);
}

bool EditRuleList(std::vector<ReplaceRule>& rules, QWidget* parent) {
    if (Override()) return Override()(rules, parent);
    return EditInTable(rules, parent);
}

}  // namespace kov
