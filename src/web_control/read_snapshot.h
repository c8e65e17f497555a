#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "web_control/items_text.h"

namespace kov {

// What the API's reads answer without waiting for the main loop: the status, the lists and the
// rows of the current list as they were at one moment. Made on the main loop and never changed
// after, so any number of server threads read it while the main loop makes the next one; a
// reader sees one whole moment or the next, never a mix.
class ReadSnapshot {
public:
    ReadSnapshot(std::string status, std::string lists, std::shared_ptr<const ItemsText> items)
        : m_status(std::move(status)), m_lists(std::move(lists)), m_items(std::move(items)) {}

    const std::string& Status() const { return m_status; }
    const std::string& Lists() const { return m_lists; }
    // The current list's rows (shared by the snapshots while they do not change).
    const ItemsText& Items() const { return *m_items; }
    const std::shared_ptr<const ItemsText>& ItemsShared() const { return m_items; }

private:
    const std::string m_status;
    const std::string m_lists;
    const std::shared_ptr<const ItemsText> m_items;
};

}  // namespace kov
