#include "model/list_model.h"

#include <gtest/gtest.h>

namespace kov {
namespace {

UrlItem Named(const std::string& name) {
    UrlItem item = FreshItem();
    item.Name = name;
    item.Url = "http://example.com/" + name;
    return item;
}

std::string Order(const ListModel& model) {
    std::string names;
    for (std::size_t i = 0; i < model.Count(); ++i)
        names += model.At(i).item.Name;
    return names;
}

// Records notifications as text.
struct Recorder : ListModelListener {
    std::string log;
    void RowChanged(RowId id) override { log += "c" + std::to_string(id) + " "; }
    void RowsInserted(std::size_t first, std::size_t n) override {
        log += "i" + std::to_string(first) + "+" + std::to_string(n) + " ";
    }
    void RowsRemoved(std::size_t first, std::size_t n) override {
        log += "r" + std::to_string(first) + "+" + std::to_string(n) + " ";
    }
    void RowsReset() override { log += "reset "; }
};

TEST(ListModel, IdsStayValidAcrossInsertsAndDeletes) {
    ListModel model;
    const RowId a = model.Append(Named("A"));
    const RowId b = model.Append(Named("B"));
    const RowId c = model.Insert(0, Named("C"));
    EXPECT_EQ(Order(model), "CAB");
    EXPECT_EQ(model.IndexOf(b), 2);
    EXPECT_EQ(model.Find(a)->item.Name, "A");
    EXPECT_EQ(model.Find(a)->columns[kColumnUrl], "http://example.com/A");

    EXPECT_EQ(model.Remove({a, a, 999}), 1u);
    EXPECT_EQ(model.Find(a), nullptr);  // a late event for a deleted row finds nothing
    EXPECT_EQ(model.IndexOf(a), -1);
    EXPECT_EQ(model.IndexOf(b), 1);
    EXPECT_EQ(model.IndexOf(c), 0);
    const RowId d = model.Append(Named("D"));
    EXPECT_NE(d, a);  // ids are never reused
}

TEST(ListModel, MovesShiftBlocksAndStopAtTheEdges) {
    ListModel model;
    std::vector<RowId> ids;
    for (const char* n : {"A", "B", "C", "D"})
        ids.push_back(model.Append(Named(n)));
    EXPECT_TRUE(model.MoveUp({ids[2], ids[3]}));
    EXPECT_EQ(Order(model), "ACDB");
    EXPECT_FALSE(model.MoveUp({ids[0], ids[2]}));  // A is at the top and blocks C
    EXPECT_EQ(Order(model), "ACDB");
    EXPECT_TRUE(model.MoveDown({ids[0]}));
    EXPECT_EQ(Order(model), "CADB");
    EXPECT_FALSE(model.MoveDown({ids[1]}));
    EXPECT_EQ(model.IndexOf(ids[0]), 1);
}

TEST(ListModel, ListenersHearEveryChange) {
    ListModel model;
    Recorder rec;
    model.AddListener(&rec);
    const RowId a = model.Append(Named("A"));
    const RowId b = model.Append(Named("B"));
    model.NotifyChanged(a);
    model.NotifyChanged(12345);  // unknown rows are not announced
    model.Remove({a, b});
    model.Reset({Named("X")});
    EXPECT_EQ(rec.log, "i0+1 i1+1 c1 r1+1 r0+1 reset ");
    model.RemoveListener(&rec);
    model.Append(Named("Y"));
    EXPECT_EQ(rec.log, "i0+1 i1+1 c1 r1+1 r0+1 reset ");
}

TEST(ListModel, RowTextsAndImageFollowTheItem) {
    ListModel model;
    UrlItem item = Named("A");
    item.Disabled = 1;
    const RowId id = model.Append(item);
    EXPECT_EQ(model.Find(id)->image, kImageDisabled);
    item.Disabled = 0;
    item.CEType = 10;
    EXPECT_EQ(model.Find(model.Append(item))->image, kImageFromEmail);
}

}  // namespace
}  // namespace kov
