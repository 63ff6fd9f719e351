/*
 * id_map_test.cpp - the map by identifier against std::map, over runs of
 * dense identifiers, far jumps that spread it into a hash table, and
 * removals.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>

#include "id_map.hpp"

namespace {

struct Draw {
    const char* name;
    std::size_t expected;  /* what reserve() is told */
    std::size_t span;      /* identifiers drawn from 0..span */
    std::size_t far_every; /* every n-th step uses an identifier near SIZE_MAX; 0: never */
};

TEST(IdMap, AgreesWithAnOrderedMap)
{
    const Draw draws[] = {
        {"dense", 1000, 1200, 0},
        {"nothing reserved", 0, 50000, 0},
        {"a far identifier among dense ones", 1000, 1200, 997},
        {"sparse from the start", 10, SIZE_MAX, 0},
    };
    for (const Draw& run : draws) {
        SCOPED_TRACE(run.name);
        desk::IdMap<int> map;
        map.reserve(run.expected);
        std::map<std::size_t, int> model;
        std::mt19937_64 random(42);
        for (std::size_t step = 1; step <= 5000; ++step) {
            std::size_t id = random() % (run.span == SIZE_MAX ? SIZE_MAX : run.span + 1);
            if (run.far_every != 0 && step % run.far_every == 0)
                id = SIZE_MAX - step;
            if (random() % 4 == 0) {
                map.erase(id);
                model.erase(id);
            } else {
                map.at(id) = static_cast<int>(step);
                model[id] = static_cast<int>(step);
            }
            const std::size_t probe = random() % 2 == 0 ? id : random() % (run.span / 2 + 1);
            const auto found = model.find(probe);
            ASSERT_EQ(map.get(probe), found == model.end() ? 0 : found->second) << "step " << step;
        }
        for (const auto& [id, value] : model)
            ASSERT_EQ(map.get(id), value) << id;
    }
}

TEST(IdMap, AnIdentifierNeverGivenReadsAsNone)
{
    desk::IdMap<int> map;
    map.reserve(3);
    map.at(2) = 7;
    EXPECT_EQ(map.get(1), 0);
    EXPECT_EQ(map.get(3), 0);
    EXPECT_EQ(map.get(SIZE_MAX), 0);
    EXPECT_EQ(map.get(2), 7);
}

} // namespace
