// The copy-on-write map: std::map is the reference for contents, hand-drawn
// trees for the balance rule, allocation counts for the sharing.
#include <containers/cow_Btree.h>

#include <support/AllocationSweep.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

using Map = cow_Btree<int, long>;
using Node = Map::Node;
using Entries = std::vector<std::pair<int, long>>;

// The walk in both directions must agree with each other and with the size.
Entries Walk(const Map& map)
{
    Entries forward, backward;
    cow_BtreeIterator<int, long> it(map);
    for (it.First(); it.Current() != nullptr; it.Next())
        forward.emplace_back(it.Current()->Key(), it.Current()->Value());
    it.Next();
    EXPECT_EQ(it.Current(), nullptr) << "Next past the end stays there";
    for (it.Last(); it.Current() != nullptr; it.Previous())
        backward.emplace(backward.begin(), it.Current()->Key(), it.Current()->Value());
    EXPECT_EQ(forward, backward);
    EXPECT_EQ(static_cast<std::size_t>(map.Size()), forward.size());
    return forward;
}

Entries Of(const std::map<int, long>& reference) { return Entries(reference.begin(), reference.end()); }

Map Build(const std::vector<int>& keys)
{
    Map map;
    for (int key : keys)
        map.InsertUnlessMember(key, 10L * key);
    return map;
}

// "key:height(left,right)", empty sides dropped to "".
std::string Shape(const Node* node)
{
    if (node == nullptr)
        return "";
    std::string s = std::to_string(node->Key()) + ":" + std::to_string(node->Height());
    if (node->Left() != nullptr || node->Right() != nullptr)
        s += "(" + Shape(node->Left()) + "," + Shape(node->Right()) + ")";
    return s;
}

const Node* NodeOf(const Map& map, int key)
{
    const Node* node = map.ConstRoot();
    while (node != nullptr && node->Key() != key)
        node = key < node->Key() ? node->Left() : node->Right();
    return node;
}

TEST(CowBtree, AgreesWithStdMapAndEveryCopyKeepsWhatItHeld)
{
    std::mt19937 random(20240613);
    const int pool[] = {INT_MIN, INT_MIN + 1, -1, 0, 1, INT_MAX - 1, INT_MAX};
    auto randomKey = [&] {
        return random() % 8 == 0 ? pool[random() % 7] : static_cast<int>(random() % 121) - 60;
    };
    Map map;
    std::map<int, long> reference;
    std::vector<std::pair<Map, std::map<int, long>>> copies;
    for (int step = 0; step < 4000; ++step) {
        SCOPED_TRACE(testing::Message() << "step " << step);
        const int key = randomKey();
        const unsigned op = random() % 20;
        if (op < 10) {
            const long value = static_cast<long>(random());
            ASSERT_EQ(map.InsertUnlessMember(key, value), reference.emplace(key, value).second);
        } else if (op < 18) {
            ASSERT_EQ(map.Remove(key), reference.erase(key) == 1);
        } else if (op == 18 && copies.size() < 12) {
            copies.emplace_back(map, reference);
        } else if (op == 19 && !copies.empty()) {
            auto& slot = copies[random() % copies.size()];
            const Map& same = slot.first;
            if (random() % 2 == 0)
                slot.first = same; // assigning a map to itself changes nothing
            else
                slot = {map, reference};
        }
        ASSERT_EQ(Walk(map), Of(reference));
        const auto found = reference.find(key);
        ASSERT_EQ(map.Lookup(key), found == reference.end() ? 0L : found->second);
        ASSERT_EQ(map.IsMember(key), found != reference.end());
        for (const auto& copy : copies)
            ASSERT_EQ(Walk(copy.first), Of(copy.second)) << "a copy saw a change";
    }
}

TEST(CowBtree, BalancesAfterInsertsByOneSingleRotation)
{
    const struct {
        std::vector<int> keys;
        const char* shape;
    } cases[] = {
        {{1, 2, 3}, "1:2(,2:1(,3:0))"},                        // d = 1 at the root: no turn yet
        {{1, 2, 3, 4}, "2:2(1:0,3:1(,4:0))"},                  // left rotation at the root
        {{4, 3, 2, 1}, "3:2(2:1(1:0,),4:0)"},                  // its mirror
        {{3, 1, 2}, "3:2(1:1(,2:0),)"},                        // no double rotation
        {{INT_MAX, 0, INT_MIN}, "2147483647:2(0:1(-2147483648:0,),)"}, // ordered by value
        {{2, 1, 5, 4, 3}, "5:3(2:2(1:0,4:1(3:0,)),)"},         // the risen node may stay uneven
    };
    for (const auto& c : cases) {
        Map map = Build(c.keys);
        EXPECT_EQ(Shape(map.ConstRoot()), c.shape);
    }
    Map map = Build({2, 1, 5, 4, 3});
    EXPECT_TRUE(map.Remove(2));
    EXPECT_EQ(Shape(map.ConstRoot()), "5:2(3:1(1:0,4:0),)") << "the successor takes the removed node's place";
    Map single = Build({5});
    EXPECT_TRUE(single.Remove(5));
    EXPECT_EQ(Walk(single), Entries());
}

TEST(CowBtree, ACopyCostsOneHolderAndAChangeCopiesOnlyThePathItWalks)
{
    // A complete tree of 1..15: no change below turns a node.
    const std::vector<int> keys = {8, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15};
    const struct {
        bool insert, shared;
        int key;
        std::vector<int> walked; // searched for the key, then for its successor
    } cases[] = {
        {true, true, 16, {8, 12, 14, 15}}, {false, true, 15, {8, 12, 14, 15}},
        {false, true, 4, {8, 4, 6, 5}},    {false, true, 12, {8, 12, 14, 13}},
        {false, true, 8, {8, 12, 10, 9}}, // 12 keeps its height: the copy must have brought it
        {true, false, 16, {}},             {false, false, 4, {}},
    };
    const long base = mem_LiveBlocks();
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << (c.insert ? "insert " : "remove ") << c.key);
        Map original = Build(keys);
        const long beforeCopy = mem_LiveBlocks();
        std::optional<Map> copy(original);
        EXPECT_EQ(mem_LiveBlocks() - beforeCopy, 1) << "a copy costs its root holder only";
        if (!c.shared)
            copy.reset();
        Map& changed = c.shared ? *copy : original;
        long expected = mem_LiveBlocks() + (c.insert ? 3 : -3); // node, count, holder
        for (int key : c.walked) // each copy: node, count, a holder per child
            expected += 2 + (NodeOf(original, key)->Left() != nullptr) + (NodeOf(original, key)->Right() != nullptr);
        auto change = [&](Map& map) { c.insert ? map.InsertUnlessMember(c.key, 0) : map.Remove(c.key); };
        change(changed);
        EXPECT_EQ(mem_LiveBlocks(), expected);
        if (!c.shared)
            continue;
        Map alone = Build(keys);
        change(alone);
        EXPECT_EQ(Shape(changed.ConstRoot()), Shape(alone.ConstRoot())) << "a shared path changes as an own one";
        for (int key : keys) {
            const bool onPath = std::find(c.walked.begin(), c.walked.end(), key) != c.walked.end();
            if (key != c.key) {
                EXPECT_EQ(NodeOf(original, key) == NodeOf(*copy, key), !onPath) << "node " << key;
            }
        }
        EXPECT_EQ(Walk(original), Walk(Build(keys)));
    }
    EXPECT_EQ(mem_LiveBlocks(), base);
}

TEST(CowBtree, ARefusedAllocationLeavesTheOriginalAsItWasAndTheCopyConsistent)
{
    std::vector<int> keys;
    std::map<int, long> built;
    for (int k = 0; k < 60; k += 2) {
        keys.push_back(k * 17 % 60); // this order leaves nodes that a change turns off its path
        built.emplace(keys.back(), 10L * keys.back());
    }
    const Entries before = Of(built);
    Map original;
    int refusedAfterTheChange[2] = {0, 0}; // by remove, insert
    for (int key : {1, 15, 59, -1, 36, 0, 30, 52}) {
        const bool insert = key % 2 != 0;
        SCOPED_TRACE(testing::Message() << (insert ? "insert " : "remove ") << key);
        std::map<int, long> changed = built;
        changed.erase(key); // the keys inserted are odd, so absent
        if (insert)
            changed.emplace(key, 1);
        const Entries after = Of(changed);
        auto change = [&] {
            Map copy(original);
            try {
                insert ? copy.InsertUnlessMember(key, 1) : copy.Remove(key);
            } catch (const mem_AllocationFailure&) {
                const Entries now = Walk(copy);
                EXPECT_TRUE(now == before || now == after);
                refusedAfterTheChange[insert] += now == after;
                throw;
            }
        };
        EXPECT_GT(zyltest::SweepAllocationFailures(
                      [&] { original = Build(keys); }, change, [&](int) { EXPECT_EQ(Walk(original), before); }, 200),
                  0);
    }
    EXPECT_GT(refusedAfterTheChange[0], 0) << "no refusal came while rebalancing after a removal";
    EXPECT_GT(refusedAfterTheChange[1], 0) << "no refusal came while rebalancing after an insert";
}

} // namespace
