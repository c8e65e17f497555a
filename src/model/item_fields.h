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

// What a load makes of a stored number outside the field's range.
enum class OutOfRange {
    Keep,   // kept as stored: later code reads it as it is
    Clamp,  // moved to the nearer end
    Reset,  // replaced by the field's `reset` value
};

// One key of an item in a list file, with the values it accepts: the one declaration of the
// field's key, capacity, range and defaults that the loaders, the editor and kov-cli read.
// Rule keys (s_find1, s_repl1, ...) are not in the table: they carry their rule's number
// (ItemFieldValues, RuleField).
struct ItemField {
    std::string_view key;  // as the list file writes it
    FieldKind kind;
    std::int64_t min = 0;
    std::int64_t max = 0;              // for texts (and the date's text): the capacity in bytes
    std::int64_t absent = 0;           // a number's value when a list file lacks the key
    std::string_view absentText = {};  // a text's value then
    OutOfRange load = OutOfRange::Keep;
    std::int64_t reset = 0;
    // What the item editor accepts: narrower than what a file may hold for a few fields.
    std::int64_t editMin = min;
    std::int64_t editMax = max;
};

// Every key of an item, in the order a list file writes them.
const std::vector<ItemField>& ItemFields();

// The field of a key, compared without regard to case ("lastDL" finds LastDL); nullptr when
// the key is unknown.
const ItemField* FindItemField(std::string_view key);

// The field of a key that the table must hold (the editor's and the loaders' own keys); a
// missing one is a programming error and aborts.
const ItemField& ItemFieldOf(std::string_view key);

// Whether a number field is held in 64 bits (the distributed sizes).
inline bool IsWideField(const ItemField& field) {
    return field.max > 2147483647;
}

// Sets a field of the table to a value as a file stored it, unchecked: a load calls
// ClampItemRanges afterwards. Narrow fields keep the low bits, as the stored type would.
void PutItemText(UrlItem& item, const ItemField& field, std::string value);
void PutItemNumber(UrlItem& item, const ItemField& field, std::int64_t value);

// Stored values brought into the ranges of the table, as each field's OutOfRange says, so
// that a hand-edited list or a hostile exchange block cannot make a series, a date walk or a
// part plan overflow; then DstDlPartNo at most DstDlPartCount. Rule actions outside 0..3
// become 0.
void ClampItemRanges(UrlItem& item);

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
