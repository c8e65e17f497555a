#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model/url_item.h"

class QWidget;

namespace kov {

// Lets the user edit a list of search-and-replace rules in the rule editor; true when the user
// accepted the changes (rules then holds them), false when they were dropped. fileMasks picks
// the text files when the rules are applied to a folder by hand.
bool EditRuleList(std::vector<ReplaceRule>& rules, const std::string& fileMasks, QWidget* parent);

// Replaces the rule editor (tests drive the pages without a modal dialog); empty restores it.
using RuleListEditor = std::function<bool(std::vector<ReplaceRule>& rules, QWidget* parent)>;
void SetRuleListEditor(RuleListEditor editor);

}  // namespace kov
