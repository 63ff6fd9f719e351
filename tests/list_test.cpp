#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <random>
#include <vector>

#include "list.h"

namespace {

// Elements are pointers into a fixed array of ints, so a pointer tells which
// element it is and its value serves as a search key.
struct Elements {
    std::vector<int> values;
    explicit Elements(size_t n) : values(n)
    {
        for (size_t i = 0; i < n; ++i)
            values[i] = int(i);
    }
    void* operator[](size_t i) { return &values[i]; }
};

struct ListGuard {
    List list = list_new();
    explicit ListGuard(std::initializer_list<void*> elements = {})
    {
        for (void* e : elements)
            list_push_back(list, e);
    }
    ~ListGuard()
    {
        list_delete(list, [](void*) {});
    }
};

std::vector<void*> forwards(List list)
{
    std::vector<void*> out;
    list_foreach(
        list, [](void* e, void* args) { static_cast<std::vector<void*>*>(args)->push_back(e); },
        &out);
    return out;
}

// Checks both directions of the ring against the model: forwards through
// foreach and every index, backwards through the tail and the head's
// previous links (pop_back), then pushes everything back.
void expect_ring(List list, const std::deque<void*>& model)
{
    ASSERT_EQ(list_size(list), model.size());
    EXPECT_EQ(list_empty(list), model.empty());
    EXPECT_EQ(forwards(list), std::vector<void*>(model.begin(), model.end()));
    for (size_t i = 0; i < model.size(); ++i)
        EXPECT_EQ(list_get(list, i), model[i]) << "index " << i;
    EXPECT_EQ(list_get(list, model.size()), nullptr);
    EXPECT_EQ(list_front(list), model.empty() ? nullptr : model.front());
    EXPECT_EQ(list_back(list), model.empty() ? nullptr : model.back());
    std::vector<void*> popped;
    while (void* e = list_pop_back(list))
        popped.push_back(e);
    EXPECT_EQ(popped, std::vector<void*>(model.rbegin(), model.rend()));
    for (void* e : model)
        list_push_back(list, e);
}

int g_deleted = 0;
void counting_deleter(void*)
{
    ++g_deleted;
}
bool same(void* a, void* b)
{
    return a == b;
}
bool by_value(void* a, void* b)
{
    return *static_cast<int*>(a) == *static_cast<int*>(b);
}

TEST(List, EveryOperationRefusesANullListAndAnEmptyListGivesNothing)
{
    int x = 1;
    ListGuard empty;
    for (List list : {List{nullptr}, empty.list}) {
        EXPECT_EQ(list_pop_back(list), nullptr);
        EXPECT_EQ(list_front(list), nullptr);
        EXPECT_EQ(list_back(list), nullptr);
        EXPECT_EQ(list_remove(list, 0), nullptr);
        EXPECT_EQ(list_get(list, 0), nullptr);
        EXPECT_EQ(list_search(list, same, &x), nullptr);
        EXPECT_FALSE(list_search_remove(list, same, &x, counting_deleter));
        EXPECT_EQ(list_sort(list, same), list != nullptr);
        list_foreach(
            list, [](void*, void*) { ADD_FAILURE(); }, nullptr);
    }
    EXPECT_EQ(list_push_back(nullptr, &x), nullptr);
    list_delete(nullptr, counting_deleter);
    expect_ring(empty.list, {});
}

TEST(List, PushingANullElementIsRefusedAndChangesNothing)
{
    Elements e(1);
    ListGuard g{e[0]};
    EXPECT_EQ(list_push_back(g.list, nullptr), nullptr);
    expect_ring(g.list, {e[0]});
}

TEST(List, SearchReturnsTheFirstMatchAndNeverCallsThePredicateForANullKey)
{
    Elements e(4);
    e.values[3] = 1; // same value as element 1, found later
    ListGuard g{e[0], e[1], e[2], e[3]};
    int key = 1, missing = 99;
    EXPECT_EQ(list_search(g.list, by_value, &key), e[1]);
    EXPECT_EQ(list_search(g.list, by_value, &missing), nullptr);
    EXPECT_EQ(list_search(
                  g.list,
                  [](void*, void*) {
                      ADD_FAILURE();
                      return true;
                  },
                  nullptr),
              nullptr);
    EXPECT_EQ(list_search(g.list, nullptr, &key), nullptr);
}

TEST(List, SearchRemoveReleasesOnlyTheFirstMatchThroughTheDeleter)
{
    Elements e(4);
    e.values[3] = 0;
    ListGuard g{e[0], e[1], e[2], e[3]};
    int key = 0, missing = 99;
    g_deleted = 0;
    EXPECT_TRUE(list_search_remove(g.list, by_value, &key, counting_deleter));
    EXPECT_EQ(g_deleted, 1);
    expect_ring(g.list, {e[1], e[2], e[3]});
    EXPECT_FALSE(list_search_remove(g.list, by_value, &missing, counting_deleter));
    EXPECT_FALSE(list_search_remove(g.list, by_value, nullptr, counting_deleter));
    EXPECT_FALSE(list_search_remove(g.list, nullptr, &key, counting_deleter));
    EXPECT_EQ(g_deleted, 1);
}

TEST(List, DeleteCallsTheDeleterOncePerElementAndANullDeleterReleasesNothing)
{
    Elements e(5);
    for (size_t n : {0u, 1u, 5u}) {
        List list = list_new();
        for (size_t i = 0; i < n; ++i)
            list_push_back(list, e[i]);
        list_delete(list, nullptr); // must not touch the list: it stays usable
        EXPECT_EQ(list_size(list), n);
        g_deleted = 0;
        list_delete(list, counting_deleter);
        EXPECT_EQ(g_deleted, int(n));
    }
}

// Random pushes, pops and removals (the head, the tail, the middle and past
// the end) against a std::deque model; the ring is checked in both
// directions after every step.
TEST(List, RandomEditsKeepTheRingConsistentWithAModel)
{
    std::mt19937 rng(12345);
    Elements e(64);
    ListGuard g;
    std::deque<void*> model;
    for (int step = 0; step < 400; ++step) {
        switch (rng() % 4) {
        case 0:
        case 1: {
            void* x = e[rng() % 64];
            ASSERT_EQ(list_push_back(g.list, x), x);
            model.push_back(x);
            break;
        }
        case 2: {
            void* expected = model.empty() ? nullptr : model.back();
            ASSERT_EQ(list_pop_back(g.list), expected);
            if (!model.empty())
                model.pop_back();
            break;
        }
        default: {
            size_t index = rng() % 3 == 0 ? 0 : rng() % (model.size() + 2);
            void* expected = index < model.size() ? model[index] : nullptr;
            ASSERT_EQ(list_remove(g.list, index), expected);
            if (expected)
                model.erase(model.begin() + long(index));
        }
        }
        expect_ring(g.list, model);
        if (HasFatalFailure())
            return;
    }
}

struct Item {
    int key;
    int serial;
};
size_t g_comparisons = 0;
// Counts comparisons; equal keys must always arrive in their original
// order, which fails if the sort ever asks (later, earlier).
bool key_greater(void* a, void* b)
{
    ++g_comparisons;
    const Item* x = static_cast<Item*>(a);
    const Item* y = static_cast<Item*>(b);
    if (x->key == y->key) {
        EXPECT_LT(x->serial, y->serial) << "predicate called out of list order";
    }
    return x->key > y->key;
}

// Sorts random, sorted, reversed, few-key lists and ascending runs of
// uneven lengths (merges of very different chains, either running out
// first) of several sizes; checks order, stability, that nothing is lost,
// the ring's links both ways and the comparison bounds.
TEST(List, SortIsStableCompleteAndWithinItsComparisonBounds)
{
    std::mt19937 rng(7);
    for (size_t n : {0u, 1u, 2u, 3u, 10u, 15u, 16u, 17u, 33u, 200u, 1000u, 3001u}) {
        for (int shape = 0; shape < 5; ++shape) {
            std::vector<Item> items;
            for (int key = 0; items.size() < n;) {
                if (shape == 4) { // a run of 1 to 60 ascending keys
                    key = int(rng() % 1000);
                    for (size_t run = 1 + rng() % 60; run > 0 && items.size() < n; --run)
                        items.push_back({key += int(rng() % 3), int(items.size())});
                    continue;
                }
                const int i = int(items.size());
                key = shape == 0   ? int(rng() % 100)
                      : shape == 1 ? i
                      : shape == 2 ? int(n) - i
                                   : int(rng() % 3);
                items.push_back({key, i});
            }
            ListGuard g;
            for (auto& it : items)
                list_push_back(g.list, &it);
            g_comparisons = 0;
            ASSERT_TRUE(list_sort(g.list, key_greater));
            EXPECT_LE(g_comparisons, n * (n > 0 ? n - 1 : 0) / 2);
            if (shape == 1) {
                EXPECT_EQ(g_comparisons, n > 0 ? n - 1 : 0) << "a sorted list costs one pass";
            }
            std::vector<Item> expected = items;
            std::stable_sort(expected.begin(), expected.end(),
                             [](const Item& a, const Item& b) { return a.key < b.key; });
            std::vector<void*> got = forwards(g.list);
            ASSERT_EQ(got.size(), n);
            for (size_t i = 0; i < n; ++i) {
                const Item* it = static_cast<Item*>(got[i]);
                ASSERT_EQ(it->serial, expected[i].serial)
                    << "position " << i << ", n=" << n << " shape=" << shape;
            }
            expect_ring(g.list, std::deque<void*>(got.begin(), got.end()));
        }
    }
}

// A predicate that reads the list it sorts, as the list allows: every
// element stays reachable forwards (foreach, every index) and through the
// tail, in whatever order the sort has reached.
struct ReadingSort {
    List list = nullptr;
    std::vector<Item>* items = nullptr;
    size_t bad_reads = 0;
};
ReadingSort g_reading;

bool key_greater_reading_the_list(void* a, void* b)
{
    ReadingSort& r = g_reading;
    const size_t n = r.items->size();
    std::vector<bool> seen(n, false);
    list_foreach(
        r.list,
        [](void* e, void* args) {
            auto* s = static_cast<std::vector<bool>*>(args);
            (*s)[size_t(static_cast<Item*>(e)->serial)] = true;
        },
        &seen);
    bool ok = list_size(r.list) == n && std::find(seen.begin(), seen.end(), false) == seen.end();
    for (size_t i : {size_t{0}, n / 2, n / 2 + 1, n - 1}) { // both walking directions of list_get
        const auto* it = static_cast<Item*>(list_get(r.list, i));
        ok = ok && it >= r.items->data() && it < r.items->data() + n;
    }
    ok = ok && list_front(r.list) == list_get(r.list, 0) &&
         list_back(r.list) == list_get(r.list, n - 1) && list_get(r.list, n) == nullptr;
    r.bad_reads += ok ? 0 : 1;
    return static_cast<Item*>(a)->key > static_cast<Item*>(b)->key;
}

TEST(List, APredicateMayReadTheListItSorts)
{
    std::mt19937 rng(11);
    for (size_t n : {15u, 16u, 17u, 100u, 700u}) {
        std::vector<Item> items;
        for (size_t i = 0; i < n; ++i)
            items.push_back({int(rng() % 50), int(i)});
        ListGuard g;
        for (auto& it : items)
            list_push_back(g.list, &it);
        g_reading = {g.list, &items, 0};
        ASSERT_TRUE(list_sort(g.list, key_greater_reading_the_list));
        EXPECT_EQ(g_reading.bad_reads, 0u) << "n=" << n;
        std::vector<void*> got = forwards(g.list);
        EXPECT_TRUE(std::is_sorted(got.begin(), got.end(),
                                   [](void* a, void* b) {
                                       return static_cast<Item*>(a)->key <
                                              static_cast<Item*>(b)->key;
                                   }))
            << "n=" << n;
        expect_ring(g.list, std::deque<void*>(got.begin(), got.end()));
    }
}

TEST(List, SortWithANullPredicateIsRefused)
{
    Elements e(2);
    ListGuard g{e[1], e[0]};
    EXPECT_FALSE(list_sort(g.list, nullptr));
    expect_ring(g.list, {e[1], e[0]});
}

} // namespace
