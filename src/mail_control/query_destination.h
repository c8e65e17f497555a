#pragma once

// Where items received as queries are saved: a folder per poll under the query folder, one
// numbered sub-folder per item, and only the last part of the destination the sender asked for.

#include <ctime>
#include <string>
#include <string_view>

namespace kov {

// The last part (name and extension) of a destination that came from outside, made safe to
// put under a folder of ours: no separators, no "." or "..", no macro braces (a macro could
// expand to a path), no control or shell characters. "" when nothing usable is left.
std::string SafeLastPart(std::string_view dest);

// The folder under which received queries are saved: saveFolder, or defaultFolder (the lists'
// default download folder) when saveFolder is too short to name one.
std::string QueryBaseFolder(std::string_view saveFolder, std::string_view defaultFolder);

// "<base><YYYYMMDD-hhmmss>" in local time; base ends with a separator (one is added when not).
std::string PollFolder(std::string_view base, std::time_t now);

// "<pollFolder>-<number>/<SafeLastPart(dest)>", cut to the item's destination capacity without
// losing the folder part (the name is shortened instead).
std::string QueryItemDest(std::string_view pollFolder, int number, std::string_view dest);

}  // namespace kov
