#pragma once

// Composing query messages: the subject marker with the access password, the body in the item
// exchange format, and one item as a query to the primary server.

#include <optional>
#include <string>
#include <string_view>

#include "core/settings/app_settings.h"
#include "mail_control/mail_text.h"
#include "model/url_item.h"

namespace kov {

inline constexpr std::string_view kQueryMarker = "#KOVQUERY:";
inline constexpr std::string_view kJobResultSubject = "#KOV Job Result";
inline constexpr std::string_view kQueryMailer = "KOV Downloader";
inline constexpr std::string_view kOtherMailer = "SomeMailer";

// The query body taken from a query file's text: every non-empty line in order, up to and
// including the first line that starts with "</URLIST". (The empty line in front of it on the
// wire comes from the message's own line breaks.)
std::string QueryBodyFromText(std::string_view fileText);

// A query to host hostIndex of the host table carrying queryText (see QueryBodyFromText);
// none when there is no such host. Line breaks in addresses and the password become blanks
// so that no value can add a header.
std::optional<MailText> ComposeQuery(const EmailSettings& email, std::size_t hostIndex,
                                     std::string_view queryText);

// The exchange text of one item as a query sends it: "<URLIST>", "<VERSION 1.0/>", the item
// without its local state, "</URLIST>".
std::string ItemQueryText(const UrlItem& item);

// item as a query to the primary host; none when PrimaryHost is not a valid index.
std::optional<MailText> ComposeItemQuery(const EmailSettings& email, const UrlItem& item);

// text with CR, LF and other control characters replaced by blanks: a value for a header line.
std::string HeaderSafe(std::string_view text);

}  // namespace kov
