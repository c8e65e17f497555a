#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "model/url_item.h"

namespace kov {

// How a list-file key's value is written and checked.
enum class FieldKind {
    Text,     // at most `max` bytes, no control characters
    Integer,  // decimal, min..max
    Flag,     // 0 or 1 (also yes/no, on/off, true/false)
    Date,     // YYYY.MM.DD, or "never"
};

// One key of an item in a list file, with the values it accepts. Rule keys (s_find1,
// s_repl1, ...) are not in the table: they carry their rule's number (ItemFieldValues).
struct ItemField {
    std::string_view key;  // as the list file writes it
    FieldKind kind;
    std::int64_t min = 0;
    std::int64_t max = 0;  // for texts: the capacity in bytes
};

// Every key of an item, in the order a list file writes them.
const std::vector<ItemField>& ItemFields();

// The field of a key, compared without regard to case ("lastDL" finds LastDL); nullptr when
// the key is unknown.
const ItemField* FindItemField(std::string_view key);

// "0..365", "0 or 1", "text, at most 79 bytes", "YYYY.MM.DD or never".
std::string DescribeRange(const ItemField& field);

// Every key and value of an item, rule keys included, in list-file order; the date as
// YYYY.MM.DD.
struct FieldValue {
    std::string key;
    FieldKind kind;
    std::string text;
    std::int64_t number = 0;  // for integers and flags
};
std::vector<FieldValue> ItemFieldValues(const UrlItem& item);

// Sets one key (a table key, or a rule key s_find/s_repl/s_action/s_icase/s_mult followed by
// the rule's number; number count+1 appends a rule) from its text form. Returns "" when done,
// else why the value was refused; the item is then unchanged.
std::string SetItemField(UrlItem& item, std::string_view key, std::string_view value);

// What is wrong with an item as a whole after its keys were set: an empty Url, a part number
// beyond the part count, a rule without a find text. "" when nothing is.
std::string CheckItemFields(const UrlItem& item);

// Why an address cannot be fetched (no scheme, or a scheme other than http, ftp, file and,
// with enableHttps, https); "" when it can.
std::string UnsupportedScheme(std::string_view url, bool enableHttps);

}  // namespace kov
