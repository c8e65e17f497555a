#pragma once

#include <cstddef>
#include <ctime>
#include <string>
#include <string_view>

namespace kov {

// What the macros refer to besides the URL. Passed in so that expansion depends on nothing
// global and tests can fix every value.
struct MacroContext {
    std::string appFolder;     // {APPFOLDER}: the program folder, with a trailing '/'
    std::string appDrive;      // {APPDRIVE}: mount point of the program folder, trailing '/'
    std::string listName;      // {LIST}: name of the current list
    std::string listFolder;    // {LISTFOLDER}: save folder of the current list
    std::string mru;           // {MRU}: first entry of the recent-paths list
    std::time_t now = 0;       // the date macros use this moment's local date and time
    bool enableHttps = false;  // https addresses are treated like http ones
};

// Macro bits; a macro is replaced when the set has any of its bits.
enum MacroBit : unsigned {
    kMacroUrl = 0x1,
    kMacroSite = 0x2,  // {SITE}, also {DOMAIN}
    kMacroUrlSite = 0x4,
    kMacroSubdomain = 0x8,  // {SUBDOMAIN}, also {DOMAIN}
    kMacroPath = 0x10,
    kMacroObject = 0x20,  // {OBJECT}, also {YYYY}
    kMacroDate = 0x40,
    kMacroTime = 0x80,  // {TIME}, also {YYYY}
    kMacroMonth = 0x100,
    kMacroDay = 0x200,  // {DD}, also {APPFOLDER} {APPDRIVE}
    kMacroList = 0x400,
    kMacroListFolder = 0x800,  // {LISTFOLDER}, also {APPFOLDER} {APPDRIVE}
    kMacroMru = 0x1000,
};

// List file names and an item's Dest in a download: {DD} {APPFOLDER} {APPDRIVE} {LISTFOLDER}.
inline constexpr unsigned kPathMacroSet = 0xA00;
// Name and referrer of a new item: all but {PATH} {LIST} {LISTFOLDER} {MRU}.
inline constexpr unsigned kNameMacroSet = 0x3EF;
// Destination folder of a new item: all but {PATH}.
inline constexpr unsigned kFolderMacroSet = 0x1FEF;

inline constexpr std::size_t kMacroCapacity = 1023;

// Replaces the macros of templ that macroSet enables, in a fixed order, each one everywhere
// (ignoring case, left to right, without rescanning what it inserted); collapses separator
// runs; cuts the result to capacity bytes on a UTF-8 boundary. With an empty url the URL
// macros stay as text. False, with out untouched, when a non-empty url cannot be split.
// Values taken from the URL ({SITE} {DOMAIN} {SUBDOMAIN} {OBJECT} {PATH}) never carry a ".."
// component, control character or shell metacharacter, and the single-component ones never
// carry a separator, so that an address cannot steer a folder or a command built from them.
bool ExpandMacros(std::string& out, std::size_t capacity, std::string_view url,
                  std::string_view templ, unsigned macroSet, const MacroContext& context);

// Whether text holds a macro whose value comes from the URL ({URL} {SITE} {URLSITE}
// {SUBDOMAIN} {DOMAIN} {PATH} {OBJECT}): expanded without a URL it stays as text.
bool HasUrlMacros(std::string_view text);

// Runs of '\' and runs of '/' collapse to one; a run of '/' right after ':' is kept, so that
// "http://" and "file:///" survive.
std::string CollapseSeparators(std::string_view text);

}  // namespace kov
