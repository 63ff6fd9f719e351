/*
 * id_map.hpp - a value for each record identifier, found in constant time.
 *
 * A library's identifiers run from 1 upwards with few gaps, so the values
 * sit in a plain array indexed by identifier. Once an identifier lands far
 * beyond the array (a file edited by hand, a jump of the trailer),
 * the map moves, once, into a hash table, and stays correct for any
 * identifier up to SIZE_MAX.
 *
 * An identifier never given a value reads as a default-made `Value` (a
 * null handle, an empty list): callers treat that as absent.
 * Throws std::bad_alloc when memory runs out, the map unchanged.
 */
#ifndef LENDREC_ENGINE_ID_MAP_HPP
#define LENDREC_ENGINE_ID_MAP_HPP

#include <algorithm>
#include <cstddef>
#include <unordered_map>
#include <utility>
#include <vector>

namespace desk {

template <typename Value>
class IdMap {
public:
    /* Makes room for `count` identifiers without moving again. */
    void reserve(std::size_t count)
    {
        expected_ = std::max(expected_, count);
        if (dense())
            slots_.reserve(std::min(count + 1, dense_limit()));
        else
            table_.reserve(count);
    }

    /* The value of `id`; a default-made Value when it has none. */
    const Value& get(std::size_t id) const
    {
        static const Value none{};
        if (dense())
            return id < slots_.size() ? slots_[id] : none;
        auto found = table_.find(id);
        return found == table_.end() ? none : found->second;
    }

    /* The value of `id`, made default when it had none. */
    Value& at(std::size_t id)
    {
        if (dense() && id >= slots_.size()) {
            if (id < dense_limit())
                slots_.resize(std::min(std::max({id + 1, 2 * slots_.size(), slots_.capacity()}),
                                       std::max(id + 1, dense_limit())));
            else
                spread();
        }
        return dense() ? slots_[id] : table_[id];
    }

    /* Gives `id` back its default value. */
    void erase(std::size_t id)
    {
        if (!dense())
            table_.erase(id);
        else if (id < slots_.size())
            slots_[id] = Value{};
    }

    /* Calls `visit(value)` on the value of every identifier given one, in
     * no set order. */
    template <typename Visit>
    void each(Visit visit)
    {
        for (Value& value : slots_)
            if (value != Value{})
                visit(value);
        for (auto& [id, value] : table_)
            visit(value);
    }

    /* Calls `visit(id, value)` on every identifier given a value, in no
     * set order. */
    template <typename Visit>
    void each_id(Visit visit) const
    {
        for (std::size_t id = 0; id < slots_.size(); ++id)
            if (slots_[id] != Value{})
                visit(id, slots_[id]);
        for (const auto& [id, value] : table_)
            visit(id, value);
    }

private:
    bool dense() const { return !spread_; }

    /* Identifiers below this stay in the array: a few times what it holds
     * or was told to expect, so that identifiers handed out one after
     * another keep it an array. */
    std::size_t dense_limit() const { return 4 * std::max(expected_, slots_.size()) + 4096; }

    /* Moves every value given into the hash table. */
    void spread()
    {
        std::unordered_map<std::size_t, Value> table;
        table.reserve(expected_);
        for (std::size_t id = 0; id < slots_.size(); ++id)
            if (slots_[id] != Value{})
                table.emplace(id, std::move(slots_[id]));
        table_ = std::move(table);
        slots_ = {};
        spread_ = true;
    }

    std::vector<Value> slots_;
    std::unordered_map<std::size_t, Value> table_;
    std::size_t expected_ = 0;
    bool spread_ = false;
};

} // namespace desk

#endif
