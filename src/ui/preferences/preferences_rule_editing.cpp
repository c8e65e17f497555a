#include "ui/preferences/preferences_rule_editing.h"

#include "ui/dialogs/rule_editor_dialog.h"

namespace kov {

namespace {

RuleListEditor& Override() {
    static RuleListEditor editor;
    return editor;
}

}  // namespace

void SetRuleListEditor(RuleListEditor editor) {
    Override() = std::move(editor);
}

bool EditRuleList(std::vector<ReplaceRule>& rules, const std::string& fileMasks, QWidget* parent) {
    if (Override()) return Override()(rules, parent);
    RuleEditorDialog dialog(rules, parent);
    dialog.SetFileMasks(fileMasks);
    if (dialog.exec() != QDialog::Accepted) return false;
    rules = dialog.Rules();
    return true;
}

}  // namespace kov
