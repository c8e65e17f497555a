#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "model/url_item.h"

namespace kov {

class Prompter;
class ProfileStore;
class ItemSectionValues;

// "item N": the section of the N-th item of a list file (N from 1).
std::string ItemSectionName(int number);

// Reads item number from an open store into item. False (and the item untouched apart from
// its Url) when the section has no Url: no item exists under that number. now is the time a
// damaged last-download date falls back to.
bool LoadItem(const ProfileStore& store, int number, UrlItem& item, std::time_t now);
// The same with a reader kept from item to item (a whole list's load).
bool LoadItem(const ProfileStore& store, int number, UrlItem& item, std::time_t now,
              ItemSectionValues& scratch);

// Writes item into the section for number; a number below 1 takes the first free number.
// False, with the message "Saving url Name error ?", when the store refuses the first write.
[[nodiscard]] bool SaveItem(ProfileStore& store, int number, const UrlItem& item,
                            Prompter& prompter);

// The first number whose section has no Url.
int FirstFreeItemNumber(const ProfileStore& store);

// The numbers of the "item N" sections of a store, ascending, each once.
std::vector<int> ItemNumbers(const ProfileStore& store);

struct ListFileContent {
    std::vector<UrlItem> items;
    int newIds = 0;     // items that were given an ID
    std::string error;  // "path: cause" when the file exists but cannot be read
};

// The items of a list file: every "item N" section that has a Url, in number order, so a gap
// in the numbering or an item without Url loses nothing after it. A missing file is an empty
// list; a file that exists but cannot be read is an error, not an empty list. Items without
// an ID are given one.
ListFileContent ReadListFile(const std::string& path, std::uint32_t serial, Prompter& prompter);

// Writes items as the whole content of a list file, numbered from 1: the lines before the
// first key line of the old file survive, everything else is rewritten. False, with error set
// to "path: cause", when the old file cannot be read or the new one cannot be written.
[[nodiscard]] bool WriteListFile(const std::string& path, const std::vector<const UrlItem*>& items,
                                 Prompter& prompter, std::string* error = nullptr);

// Saves one item after the last item of a list file. False when it cannot be written.
[[nodiscard]] bool AppendItemToFile(const std::string& path, const UrlItem& item,
                                    Prompter& prompter, std::string* error = nullptr);

// Saves items after the last item of a list file in one write: all of them or none.
[[nodiscard]] bool AppendItemsToFile(const std::string& path,
                                     const std::vector<const UrlItem*>& items, Prompter& prompter,
                                     std::string* error = nullptr);

// A new unique item ID: the volume serial, the date, the tick count and a random number with a
// running counter, as upper-case hexadecimal; always shorter than 32 characters.
std::string MakeItemId(std::uint32_t serial);

}  // namespace kov
