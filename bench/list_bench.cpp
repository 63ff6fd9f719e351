/*
 * list_bench.cpp - the record list: its single operations, and list_sort
 * against std::list<void*>::sort driven by the same predicate.
 *
 *   List/<operation>/<n>            one operation over a list of n elements
 *   Sort/<shape>/<n>                list_sort; baseline std::list::sort
 */
#include <cstdint>
#include <list>
#include <random>
#include <string>
#include <vector>

#include "harness.hpp"
#include "list.h"

namespace {

/* A sort key and the element's original position. */
struct Item {
    uint32_t key;
    uint32_t serial;
};

/* The one predicate both sorts use: (earlier, later) out of order. */
bool out_of_order(void* earlier, void* later)
{
    return static_cast<const Item*>(earlier)->key > static_cast<const Item*>(later)->key;
}

bool same_element(void* element, void* key)
{
    return element == key;
}

void ignore(void*) {}

List list_of(std::vector<Item>& items)
{
    List list = list_new();
    for (Item& item : items)
        list_push_back(list, &item);
    return list;
}

enum class Shape { random, sorted, reversed, few_keys };

std::vector<Item> items_of(Shape shape, size_t n)
{
    std::mt19937 rng(bench::kSeed);
    std::vector<Item> items(n);
    for (size_t i = 0; i < n; ++i) {
        const auto serial = static_cast<uint32_t>(i);
        uint32_t key = serial;
        switch (shape) {
        case Shape::random:
            key = static_cast<uint32_t>(rng());
            break;
        case Shape::sorted:
            break;
        case Shape::reversed:
            key = static_cast<uint32_t>(n - i);
            break;
        case Shape::few_keys:
            key = static_cast<uint32_t>(rng() % 8);
            break;
        }
        items[i] = {key, serial};
    }
    return items;
}

/* True when the list is in order, equal keys in their original order. */
bool sorted_stably(List list)
{
    struct Walk {
        const Item* previous = nullptr;
        bool ok = true;
    } walk;
    list_foreach(
        list,
        [](void* element, void* args) {
            auto* w = static_cast<Walk*>(args);
            const auto* item = static_cast<const Item*>(element);
            if (w->previous != nullptr &&
                (w->previous->key > item->key ||
                 (w->previous->key == item->key && w->previous->serial > item->serial)))
                w->ok = false;
            w->previous = item;
        },
        &walk);
    return walk.ok;
}

void bm_sort(benchmark::State& state, Shape shape, size_t n, double target)
{
    std::vector<Item> items = items_of(shape, n);
    /* Through an opaque pointer, so the baseline cannot inline what
     * list_sort has to call. */
    CompareFunction predicate = out_of_order;
    benchmark::DoNotOptimize(predicate);

    List list = nullptr;
    bool checked = false;
    bench::Side subject{[&] {
                            list_delete(list, ignore);
                            list = nullptr;
                            bench::settle_heap();
                            list = list_of(items);
                        },
                        [&] { list_sort(list, predicate); },
                        [&] {
                            if (!checked && !sorted_stably(list))
                                state.SkipWithError("list_sort left the list out of order");
                            checked = true;
                        }};

    std::list<void*> peer;
    bench::Side baseline{
        [&] {
            peer.clear();
            bench::settle_heap();
            for (Item& item : items)
                peer.push_back(&item);
        },
        [&] { peer.sort([predicate](void* a, void* b) { return predicate(b, a); }); }};

    bench::compare(state, static_cast<double>(n), subject, baseline, target);
    list_delete(list, ignore);
}

/* Single operations. Lists are built in `prepare`, outside the timing. */
enum class Op { push_back, pop_back, get, remove, foreach, search };
constexpr size_t kProbes = 1000; /* indexed reads and removals per run */

void bm_list(benchmark::State& state, Op op, size_t n)
{
    std::vector<Item> items = items_of(Shape::sorted, n);
    List list = nullptr;
    size_t sink = 0;
    double count = static_cast<double>(n);
    bench::Side side;
    side.prepare = [&] {
        list_delete(list, ignore);
        list = op == Op::push_back ? list_new() : list_of(items);
    };
    switch (op) {
    case Op::push_back:
        side.run = [&] {
            for (Item& item : items)
                list_push_back(list, &item);
        };
        break;
    case Op::pop_back:
        side.run = [&] {
            while (list_pop_back(list) != nullptr)
                ++sink;
        };
        break;
    case Op::get:
        count = kProbes;
        side.run = [&] {
            for (size_t i = 0; i < kProbes; ++i)
                sink += static_cast<Item*>(list_get(list, i * n / kProbes))->key;
        };
        break;
    case Op::remove:
        count = kProbes;
        side.run = [&] {
            for (size_t i = 0; i < kProbes; ++i)
                sink += static_cast<Item*>(list_remove(list, list_size(list) / 2))->key;
        };
        break;
    case Op::foreach:
        side.run = [&] {
            list_foreach(
                list,
                [](void* e, void* s) { *static_cast<size_t*>(s) += static_cast<Item*>(e)->key; },
                &sink);
        };
        break;
    case Op::search:
        side.run = [&] { sink += list_search(list, same_element, &items.back()) != nullptr; };
        break;
    }
    bench::measure(state, count, side);
    benchmark::DoNotOptimize(sink);
    list_delete(list, ignore);
}

const bool registered = [] {
    const std::pair<const char*, Op> ops[] = {
        {"push_back", Op::push_back}, {"pop_back", Op::pop_back}, {"get", Op::get},
        {"remove", Op::remove},       {"foreach", Op::foreach},   {"search", Op::search}};
    for (const auto& [name, op] : ops)
        for (size_t n : {size_t{1000}, size_t{100000}})
            benchmark::RegisterBenchmark(bench::name({"List", name, std::to_string(n)}).c_str(),
                                         bm_list, op, n)
                ->UseManualTime()
                ->Unit(benchmark::kMicrosecond);

    const std::pair<const char*, Shape> shapes[] = {{"random", Shape::random},
                                                    {"sorted", Shape::sorted},
                                                    {"reversed", Shape::reversed},
                                                    {"few_keys", Shape::few_keys}};
    for (const auto& [name, shape] : shapes)
        for (size_t n : {size_t{1000}, size_t{100000}, size_t{1000000}}) {
            const double target = shape == Shape::random && n == 1000000 ? 1.5 : 0.0;
            benchmark::RegisterBenchmark(bench::name({"Sort", name, std::to_string(n)}).c_str(),
                                         bm_sort, shape, n, target)
                ->UseManualTime()
                ->Unit(benchmark::kMillisecond);
        }
    return true;
}();

} // namespace
