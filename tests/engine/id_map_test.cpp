/*
 * id_map_test.cpp - the map by identifier against std::map, over dense
 * identifiers, far ones that spread it into a hash table, and removals.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <random>

#include "id_map.hpp"

TEST(IdMap, AgreesWithAnOrderedMap)
{
    const struct {
        std::size_t reserved, span, far_every; /* far_every: a step near SIZE_MAX; 0 never */
    } draws[] = {{1000, 1200, 0}, {0, 50000, 0}, {1000, 1200, 997}, {10, SIZE_MAX - 1, 0}};
    for (const auto& draw : draws) {
        desk::IdMap<int> map;
        map.reserve(draw.reserved);
        std::map<std::size_t, int> model;
        std::mt19937_64 random(42);
        for (std::size_t step = 1; step <= 5000; ++step) {
            std::size_t id = random() % (draw.span + 1);
            if (draw.far_every != 0 && step % draw.far_every == 0)
                id = SIZE_MAX - step;
            if (random() % 4 == 0)
                map.erase(id), model.erase(id);
            else
                map.at(id) = static_cast<int>(step), model[id] = static_cast<int>(step);
            const std::size_t probe = random() % 2 == 0 ? id : random() % (draw.span / 2 + 1);
            ASSERT_EQ(map.get(probe), model.contains(probe) ? model[probe] : 0)
                << "span " << draw.span << ", step " << step;
        }
        for (const auto& [id, value] : model)
            ASSERT_EQ(map.get(id), value) << id;
    }
}
