#pragma once

// The mail that tells the sender of a query which files its items fetched.

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mail_control/mail_text.h"

namespace kov {

using SavedFiles = std::vector<std::pair<std::string, std::uint64_t>>;  // name, size in bytes

// The address inside a From value ("Name <a@b>" gives "a@b"), the value itself otherwise;
// header-safe.
std::string ReplyAddress(std::string_view fromValue);

// The job result from myAddress to the sender recorded on the item (its CEComeFrom): a heading
// and one row per file, name left-aligned in 34 columns and the size grouped by commas and
// right-aligned in 12, each row followed by an empty line.
MailText ComposeJobResult(std::string_view myAddress, std::string_view comeFrom,
                          const SavedFiles& files);

}  // namespace kov
