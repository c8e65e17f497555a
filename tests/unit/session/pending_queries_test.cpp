#include "session/pending_queries.h"

#include <gtest/gtest.h>

#include "platform/file_util.h"
#include "support/temp_dir.h"

namespace kov {
namespace {

UrlItem Item(const std::string& url, const std::string& dest) {
    UrlItem item = FreshItem();
    item.Url = url;
    item.Dest = dest;
    return item;
}

// A poll wrote its pending keys and then crashed somewhere; the next start looks at the list.
TEST(PendingQueries, KeysCountAsSeenOnlyWhenTheListHoldsTheirItems) {
    const IncomingQueries poll{{Item("http://h/a", "q/1/"), Item("http://h/b", "q/2/")},
                               {"1@x", "2@x"}};
    struct Case {
        const char* name;
        bool written;
        std::vector<UrlItem> list;
        std::vector<std::string> seen;
    } cases[] = {
        {"no interrupted poll", false, {Item("http://h/a", "q/1/")}, {}},
        {"crash before the list's save", true, {Item("http://h/z", "q/9/")}, {}},
        {"crash after the list's save", true, {Item("http://h/b", "q/2/")}, {"1@x", "2@x"}},
        // The same URL taken by an earlier poll went to another folder.
        {"only an earlier poll's item", true, {Item("http://h/a", "q/0/")}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        test::TempDir dir;
        const PendingQueries pending(dir.File(kPendingQueriesFile));
        if (c.written) {
            ASSERT_TRUE(pending.Write(poll));
        }
        ListModel rows;
        for (const UrlItem& item : c.list)
            rows.Append(item);
        EXPECT_EQ(pending.Recover(rows), c.seen);
        pending.Clear();
        EXPECT_FALSE(FileExists(dir.File(kPendingQueriesFile)));
    }
}

}  // namespace
}  // namespace kov
