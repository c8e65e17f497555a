#pragma once

#include <QMimeData>
#include <Qt>
#include <cstddef>
#include <ctime>
#include <string>
#include <vector>

#include "model/list_model.h"
#include "model/url_item.h"

namespace kov {

class ListDocument;

// Our own clipboard and drag format: an exchange block of the dragged or copied items.
inline constexpr const char* kItemsMimeType = "application/x-kov-items";

// What a drop or the clipboard offers, sorted out once: our own items, an exchange block
// pasted as plain text, URLs and files from browsers and file managers, or plain text. Input
// is bounded: data beyond kMaxBytes, or with more than kMaxUrls addresses or items, is refused
// unread, with a reason.
class ItemMime {
public:
    static constexpr std::size_t kMaxBytes = 4 * 1024 * 1024;
    static constexpr std::size_t kMaxUrls = 10000;

    enum class Kind {
        Nothing,    // nothing usable offered
        Refused,    // too much offered; Refused() says why
        Items,      // our own format
        TextBlock,  // an exchange block as plain text, from outside the program
        Urls,       // a URI list: addresses and local files
        Text,       // other plain text: one address, possibly broken over lines
    };

    explicit ItemMime(const QMimeData& mime);

    // The data for copying or dragging items: our format plus the same block as plain text.
    static QMimeData* Make(const std::vector<UrlItem>& items);
    // The same for rows of the current list (rows that no longer exist are left out).
    static QMimeData* Make(const ListModel& rows, const std::vector<RowId>& ids);
    // Whether a drag over a list offers anything a drop would take (the copy effect).
    static bool CanAccept(const QMimeData& mime);

    Kind kind() const { return m_kind; }
    const std::string& Refused() const { return m_refused; }

    // The items a paste adds to the current list: our items as they are; a text block's items
    // confined as outside data is (below); each address or file of a URI list, and a plain
    // text, made into a new item with the new-URL defaults.
    std::vector<UrlItem> Items(const ListDocument& doc, std::time_t now) const;
    // A paste: Items() appended to the current list. Returns how many were added.
    std::size_t PasteInto(ListDocument& doc, std::time_t now) const;

    // A drop on the URL list. False when nothing was taken.
    bool DropOnUrlList(ListDocument& doc, std::time_t now) const;
    // A drop on the row `target` of the lists pane. With Shift held, our own dragged rows
    // (`dragged`, empty when the drag came from elsewhere) leave the current list once all of
    // them were saved into the target list. False when nothing was taken or a save failed.
    bool DropOnListsPane(ListDocument& doc, std::size_t target, Qt::KeyboardModifiers modifiers,
                         const std::vector<RowId>& dragged, std::time_t now) const;

private:
    struct Entry {
        bool file = false;  // a local path, else an address
        std::string text;
    };

    void Refuse(std::string reason);
    // The items of a block that came as text from outside: their destinations kept under
    // `folder`, without after-download commands or uploads.
    std::vector<UrlItem> OutsideItems(const std::string& folder, std::time_t now) const;

    Kind m_kind = Kind::Nothing;
    std::string m_refused;
    std::string m_text;  // the block (Items, TextBlock) or the plain text (Text)
    std::vector<Entry> m_entries;
};

}  // namespace kov
