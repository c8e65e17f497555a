#pragma once

#include <mutex>
#include <optional>
#include <utility>

#include "model/url_item.h"

namespace kov {

// An edit of an item handed to its job while the job still waits in the queue. The job takes
// it as it starts; an edit offered after that point is refused, so the caller knows the
// running download goes on with the old item.
class QueuedItem {
public:
    bool Offer(UrlItem item) {
        const std::lock_guard lock(m_lock);
        if (m_taken) return false;
        m_item = std::move(item);
        return true;
    }
    // The last edit offered, if any; later offers fail.
    std::optional<UrlItem> Take() {
        const std::lock_guard lock(m_lock);
        m_taken = true;
        return std::exchange(m_item, std::nullopt);
    }

private:
    std::mutex m_lock;
    std::optional<UrlItem> m_item;
    bool m_taken = false;
};

}  // namespace kov
