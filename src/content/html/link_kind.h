#pragma once

#include <string_view>

namespace kov {

// What a collected resource is; an item's choice of what to fetch is a set of these bits.
enum LinkKind : int {
    kKindPage = 0x01,  // pages and frames
    kKindScript = 0x02,
    kKindStyle = 0x04,
    kKindPicture = 0x08,
    kKindFlash = 0x10,
    kKindJava = 0x20,
    kKindSound = 0x40,
    kKindVideo = 0x80,
    kKindAll = 0xFFFF,
};

// The kind a file name's extension suggests; -1 (every kind) when it has none or an unknown one.
int KindFromExtension(std::string_view name);

}  // namespace kov
