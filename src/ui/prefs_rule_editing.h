#pragma once

#include <functional>
#include <vector>

#include "model/url_item.h"

class QWidget;

namespace kov {

// Lets the user edit a list of search-and-replace rules; true when the user accepted the
// changes (rules then holds them), false when they were dropped.
bool EditRuleList(std::vector<ReplaceRule>& rules, QWidget* parent);

// Replaces the rule editor (tests drive the pages without a modal dialog); empty restores it.
using RuleListEditor = std::function<bool(std::vector<ReplaceRule>& rules, QWidget* parent)>;
void SetRuleListEditor(RuleListEditor editor);

}  // namespace kov
