#include "runtime/tlist.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

class Item : public Object {
  public:
    static inline const ClassInfo kClass{"Item", &Object::kClass};
    explicit Item(std::string n) : Object(kClass), name(std::move(n)) {}
    std::string name;
};

class Other : public Object {
  public:
    static inline const ClassInfo kClass{"Other", &Object::kClass};
    Other() : Object(kClass) {}
};

Ref<Item> MakeItem(const char* n) { return std::make_shared<Item>(n); }

std::string Names(const TList& list) {
    std::string s;
    TListEnum e = list.ObjectEnumerator();
    while (e.HasNext()) {
        ObjectRef o = e.NextObject();
        auto* it = ObjectCast<Item>(o.get());
        s += it ? it->name : std::string("-");
    }
    return s;
}

struct ListOfAbc : ::testing::Test {
    TList list;
    Ref<Item> a = MakeItem("a"), b = MakeItem("b"), c = MakeItem("c");
    void SetUp() override {
        list.AddLast(a);
        list.AddLast(b);
        list.AddLast(c);
    }
};

TEST_F(ListOfAbc, RemoveTakesOnlyTheFirstOccurrenceByIdentity) {
    list.AddLast(a);
    EXPECT_EQ(list.Count(), 4);
    EXPECT_EQ(list.Remove(a), 1);
    EXPECT_EQ(Names(list), "bca");
    EXPECT_EQ(list.Remove(a), 1);
    EXPECT_EQ(list.Remove(a), 0);
    auto lookalike = MakeItem("b");
    EXPECT_EQ(list.Remove(lookalike), 0);
    EXPECT_EQ(Names(list), "bc");
}

TEST_F(ListOfAbc, RemovedLinkKeepsItsNeighboursAndLosesItsValue) {
    TList other;
    LinkRef link = other.AddLast(b);
    other.AddLast(c);
    EXPECT_EQ(other.Remove(b), 1);
    EXPECT_EQ(link->_value, nullptr);
    EXPECT_EQ(link->_succ->_value, c);
    EXPECT_EQ(other.Count(), 1);
}

TEST_F(ListOfAbc, RemovingTheReturnedElementDuringAWalkIsSafe) {
    std::string seen;
    TListEnum e = list.ObjectEnumerator();
    while (e.HasNext()) {
        ObjectRef o = e.NextObject();
        seen += ObjectCast<Item>(o.get())->name;
        list.Remove(o);
    }
    EXPECT_EQ(seen, "abc");
    EXPECT_TRUE(list.IsEmpty());
}

TEST_F(ListOfAbc, RemovingAPassedElementLeavesTheWalkUntouched) {
    std::string seen;
    TListEnum e = list.ObjectEnumerator();
    while (e.HasNext()) {
        auto* it = ObjectCast<Item>(e.NextObject().get());
        seen += it->name;
        if (it == b.get()) list.Remove(a);
    }
    EXPECT_EQ(seen, "abc");
    EXPECT_EQ(Names(list), "bc");
}

TEST_F(ListOfAbc, ElementsAppendedDuringAWalkAreVisited) {
    std::string seen;
    TListEnum e = list.ObjectEnumerator();
    while (e.HasNext()) {
        auto* it = ObjectCast<Item>(e.NextObject().get());
        seen += it->name;
        if (it == b.get()) list.AddLast(MakeItem("d"));
    }
    EXPECT_EQ(seen, "abcd");
}

TEST_F(ListOfAbc, WalkThatHasReturnedTheLastElementStandsOnTheHead) {
    // The walk stands on the link after the element it returned: after the last one that is the
    // head, so it ends even if something is appended now.
    TListEnum e = list.ObjectEnumerator();
    for (int i = 0; i < 3; ++i) e.NextObject();
    list.AddLast(MakeItem("d"));
    EXPECT_FALSE(e.HasNext());
}

TEST_F(ListOfAbc, RemovedNextElementYieldsNoneOnceThenTheWalkGoesOn) {
    std::vector<std::string> seen;
    TListEnum e = list.ObjectEnumerator();
    while (e.HasNext()) {
        ObjectRef o = e.NextObject();
        auto* it = ObjectCast<Item>(o.get());
        seen.push_back(it ? it->name : "none");
        if (it == a.get()) list.Remove(b);  // b is where the walk stands now
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"a", "none", "c"}));
}

TEST_F(ListOfAbc, TypedWalkSkipsNoneAndOtherClassesAndFollowsTheSameRule) {
    list.AddLast(nullptr);
    list.AddLast(std::make_shared<Other>());
    list.AddLast(MakeItem("d"));
    std::string seen;
    for (Item* it : list.each<Item>()) {
        seen += it->name;
        if (it == a.get()) list.Remove(b);
        if (it == c.get()) list.AddLast(MakeItem("e"));
    }
    EXPECT_EQ(seen, "acde");
}

TEST(TList, WalkOutlivingItsListEndsCleanly) {
    auto list = std::make_shared<TList>();
    list->AddLast(MakeItem("a"));
    list->AddLast(MakeItem("b"));
    TListEnum e = list->ObjectEnumerator();
    EXPECT_TRUE(e.HasNext());
    list.reset();  // the walk holds its link; the links it reaches stay valid
    int steps = 0;
    while (e.HasNext() && steps < 10) {
        e.NextObject();
        ++steps;
    }
    EXPECT_LE(steps, 2);
}

TEST(TList, LongListIsFreedWithoutRecursion) {
    auto item = MakeItem("x");
    {
        TList list;
        for (int i = 0; i < 200000; ++i) list.AddLast(item);
        EXPECT_EQ(list.Count(), 200000);
    }
    EXPECT_EQ(item.use_count(), 1);
}

TEST(ObjectCast, AcceptsTheClassAndItsSubclassesOnly) {
    TList list;
    Ref<Object> asObject = std::make_shared<Item>("a");
    EXPECT_NE(ObjectCast<Item>(asObject), nullptr);
    EXPECT_NE(ObjectCast<Object>(asObject), nullptr);
    EXPECT_EQ(ObjectCast<Other>(asObject), nullptr);
    EXPECT_EQ(ObjectCast<Item>(ObjectRef()), nullptr);
    EXPECT_NE(ObjectCast<Object>(static_cast<Object*>(&list)), nullptr);
}

}  // namespace
