#include "ui/window/item_mime.h"

#include <QUrl>
#include <cstdio>
#include <sstream>
#include <string_view>

#include "core/language/ui_text_ids.h"
#include "core/text/text_util.h"
#include "mail_control/query_destination.h"
#include "model/exchange_format.h"
#include "model/list_document.h"
#include "ui/app/ui_text.h"

namespace kov {
namespace {

const QString kUriList = QStringLiteral("text/uri-list");

std::string Megabytes(std::size_t bytes) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / (1024.0 * 1024.0));
    return text;
}

std::string JoinLines(std::string_view text) {
    std::string joined;
    for (char c : text)
        if (c != '\r' && c != '\n') joined += c;
    return joined;
}

bool Blank(std::string_view text) {
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// How many records a block holds at most: each one ends at a "</URL>" line or the end.
std::size_t RecordBound(std::string_view block) {
    std::size_t records = 1;
    for (std::size_t pos = 0; pos < block.size();) {
        if (IStartsWith(block.substr(pos), "</URL")) ++records;
        const std::size_t end = block.find('\n', pos);
        if (end == std::string_view::npos) break;
        pos = end + 1;
    }
    return records;
}

std::string WithSeparator(std::string folder) {
    if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') folder += '/';
    return folder;
}

}  // namespace

ItemMime::ItemMime(const QMimeData& mime) {
    const QString own = QString::fromLatin1(kItemsMimeType);
    const auto tooLarge = [this](std::size_t size) {
        if (size <= kMaxBytes) return false;
        Refuse(UiTextWith(kGuiDropTooLarge, "",
                          {QString::fromStdString(Megabytes(size)),
                           QString::fromStdString(Megabytes(kMaxBytes))})
                   .toStdString());
        return true;
    };
    const auto tooMany = [this](std::size_t count, int what) {
        if (count <= kMaxUrls) return false;
        Refuse(UiTextWith(what, "", {QString::number(kMaxUrls)}).toStdString());
        return true;
    };
    if (mime.hasFormat(own)) {
        const QByteArray data = mime.data(own);
        if (tooLarge(static_cast<std::size_t>(data.size()))) return;
        m_text = data.toStdString();
        m_kind = Kind::Items;
        if (tooMany(RecordBound(m_text), kGuiDropTooManyItems)) m_text.clear();
        return;
    }
    if (mime.hasFormat(kUriList)) {
        const QByteArray data = mime.data(kUriList);
        if (tooLarge(static_cast<std::size_t>(data.size()))) return;
        for (QByteArray line : data.split('\n')) {
            line = line.trimmed();
            if (line.isEmpty() || line.startsWith('#')) continue;  // comments are allowed
            if (tooMany(m_entries.size() + 1, kGuiDropTooManyUrls)) {
                m_entries.clear();
                return;
            }
            const QUrl url = QUrl::fromEncoded(line);
            if (url.isLocalFile()) {
                m_entries.push_back({true, url.toLocalFile().toStdString()});
            } else {
                // Kept as sent: the address stays encoded as the browser gave it.
                m_entries.push_back({false, line.toStdString()});
            }
        }
        if (!m_entries.empty()) {
            m_kind = Kind::Urls;
            return;
        }
    }
    // Not hasText(): Qt counts a URI list as text too.
    if (mime.hasFormat(QStringLiteral("text/plain"))) {
        const QString text = mime.text();
        if (tooLarge(static_cast<std::size_t>(text.size()))) return;
        m_text = text.toStdString();
        if (tooLarge(m_text.size())) {
            m_text.clear();
            return;
        }
        if (m_text.find("<URLIST>") != std::string::npos) {
            m_kind = Kind::TextBlock;
            if (tooMany(RecordBound(m_text), kGuiDropTooManyItems)) m_text.clear();
        } else if (!Blank(m_text)) {
            m_kind = Kind::Text;
        }
    }
}

void ItemMime::Refuse(std::string reason) {
    m_kind = Kind::Refused;
    m_refused = std::move(reason);
}

QMimeData* ItemMime::Make(const std::vector<UrlItem>& items) {
    std::ostringstream out;
    WriteBlock(out, items, kExchangeModeFull);
    const QByteArray block = QByteArray::fromStdString(out.str());
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kItemsMimeType), block);
    mime->setText(QString::fromUtf8(block));
    return mime;
}

QMimeData* ItemMime::Make(const ListModel& rows, const std::vector<RowId>& ids) {
    std::vector<UrlItem> items;
    for (const RowId id : ids)
        if (const Row* row = rows.Find(id)) items.push_back(row->item);
    return Make(items);
}

bool ItemMime::CanAccept(const QMimeData& mime) {
    return mime.hasFormat(QString::fromLatin1(kItemsMimeType)) || mime.hasText() || mime.hasUrls();
}

std::vector<UrlItem> ItemMime::OutsideItems(const std::string& folder, std::time_t now) const {
    // A block in plain text may come from any web page or mail: it must not run commands,
    // send files away or write outside the list's folder, whatever it asks for.
    std::vector<UrlItem> items = ReadBlock(m_text, now);
    const std::string base = WithSeparator(folder);
    for (UrlItem& item : items) {
        item.Cmd.clear();
        item.Upload = 0;
        item.UploadServer.clear();
        item.UploadFolder.clear();
        item.UploadLogin.clear();
        item.UploadPassword.clear();
        std::string_view dest = item.Dest;
        while (!dest.empty() && (dest.back() == '/' || dest.back() == '\\'))
            dest.remove_suffix(1);
        const std::string part = SafeLastPart(dest);
        item.Dest = CapText(part.empty() ? base : base + part + "/", UrlItem::kDestCapacity);
    }
    return items;
}

std::vector<UrlItem> ItemMime::Items(const ListDocument& doc, std::time_t now) const {
    std::vector<UrlItem> items;
    switch (m_kind) {
        case Kind::Items:
            items = ReadBlock(m_text, now);
            break;
        case Kind::TextBlock:
            items = OutsideItems(doc.DefaultFolder(), now);
            break;
        case Kind::Urls:
            for (const Entry& e : m_entries)
                items.push_back(doc.MakeNewItem(e.file ? "file://" + e.text : e.text));
            break;
        case Kind::Text:
            items.push_back(doc.MakeNewItem(JoinLines(m_text)));
            break;
        case Kind::Nothing:
        case Kind::Refused:
            break;
    }
    return items;
}

std::size_t ItemMime::PasteInto(ListDocument& doc, std::time_t now) const {
    std::vector<UrlItem> items = Items(doc, now);
    for (UrlItem& item : items)
        doc.AddItem(std::move(item));
    return items.size();
}

bool ItemMime::DropOnUrlList(ListDocument& doc, std::time_t now) const {
    switch (m_kind) {
        case Kind::Items:
            doc.DropBlockOnUrlList(m_text);
            return false;
        case Kind::TextBlock: {
            std::vector<UrlItem> items = OutsideItems(doc.DefaultFolder(), now);
            for (UrlItem& item : items)
                doc.AddItem(std::move(item));
            return !items.empty();
        }
        case Kind::Urls:
            for (const Entry& e : m_entries) {
                if (e.file) {
                    doc.DropFilesOnUrlList({e.text});
                } else {
                    doc.AddUrl(e.text);
                }
            }
            return true;
        case Kind::Text:
            doc.DropTextOnUrlList(m_text);
            return true;
        case Kind::Nothing:
        case Kind::Refused:
            break;
    }
    return false;
}

bool ItemMime::DropOnListsPane(ListDocument& doc, std::size_t target,
                               Qt::KeyboardModifiers modifiers, const std::vector<RowId>& dragged,
                               std::time_t now) const {
    if (target >= doc.ListCount()) return false;
    switch (m_kind) {
        case Kind::Items:
            return doc.DropBlockOnListsPane(m_text, target, modifiers.testFlag(Qt::ShiftModifier),
                                            dragged);
        case Kind::TextBlock: {
            const ListRecord* list = doc.GetList(target);
            const bool ownFolder =
                target != doc.CurrentIndex() && list && !list->SaveFolder.empty();
            const std::vector<UrlItem> items =
                OutsideItems(ownFolder ? list->SaveFolder : doc.DefaultFolder(), now);
            if (items.empty()) return false;
            std::ostringstream block;
            WriteBlock(block, items, kExchangeModeFull);
            // Outside data never moves anything.
            return doc.DropBlockOnListsPane(block.str(), target, false, {});
        }
        case Kind::Urls:
            for (const Entry& e : m_entries) {
                if (e.file) {
                    doc.DropFilesOnListsPane({e.text}, target);
                } else {
                    doc.DropTextOnListsPane(e.text, target);
                }
            }
            return true;
        case Kind::Text:
            doc.DropTextOnListsPane(m_text, target);
            return true;
        case Kind::Nothing:
        case Kind::Refused:
            break;
    }
    return false;
}

}  // namespace kov
