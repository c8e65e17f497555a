#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "model/url_item.h"

namespace kov {

class Prompter;
class ProfileStore;

// "item N": the section of the N-th item of a list file (N from 1).
std::string ItemSectionName(int number);

// Reads item number from an open store into item. False (and the item untouched apart from
// its Url) when the section has no Url: no item exists under that number. now is the time a
// damaged last-download date falls back to.
bool LoadItem(const ProfileStore& store, int number, UrlItem& item, std::time_t now);

// Writes item into the section for number; a number below 1 takes the first free number.
// False, with the message "Saving url Name error ?", when the store refuses the first write.
bool SaveItem(ProfileStore& store, int number, const UrlItem& item, Prompter& prompter);

// The first number whose section has no Url.
int FirstFreeItemNumber(const ProfileStore& store);

// The items of a list file in order, up to the first missing one. A missing file is an empty
// list. Items without an ID are given one; newIds counts them.
std::vector<UrlItem> ReadListFile(const std::string& path, std::uint32_t serial, Prompter& prompter,
                                  int* newIds = nullptr);

// Writes items as the whole content of a list file: the lines before the first key line of the
// old file survive, everything else is rewritten. False when the file cannot be written.
bool WriteListFile(const std::string& path, const std::vector<const UrlItem*>& items,
                   Prompter& prompter);

// Saves one item under the first free number of a list file. False when it cannot be written.
bool AppendItemToFile(const std::string& path, const UrlItem& item, Prompter& prompter);

// A new unique item ID: the volume serial, the date, the tick count and a random number with a
// running counter, as upper-case hexadecimal; always shorter than 32 characters.
std::string MakeItemId(std::uint32_t serial);

}  // namespace kov
