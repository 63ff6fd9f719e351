/*
 * records.cpp - the records of one kind, indexed by identifier.
 */
#include "records.hpp"

#include <algorithm>
#include <cstdint>
#include <new>
#include <unordered_set>

#include <fmt/format.h>

#include "failure.hpp"

namespace desk {

const char* problem_kind(serializer_problem_t kind)
{
    switch (kind) {
    case SERIALIZER_REFUSED:
        return "refused";
    case SERIALIZER_CHANGED:
        return "changed";
    case SERIALIZER_IGNORED:
        return "ignored";
    case SERIALIZER_NOT_READ:
        return "not read";
    }
    return "problem";
}

std::string describe(const std::string& file, const Problem& problem)
{
    if (problem.line == 0)
        return fmt::format("{}: {}", file, problem.cause);
    return fmt::format("{}:{}: {}", file, problem.line, problem.cause);
}

bool blocks_saving(const Problem& problem)
{
    return problem.kind != SERIALIZER_CHANGED;
}

template <typename Handle>
Records<Handle>::Records(fileset::Kind kind)
    : file_(fileset::record_file(kind)), name_(file_.name), list_(list_new())
{
    if (list_ == nullptr)
        throw std::bad_alloc();
}

template <typename Handle>
Records<Handle>::~Records()
{
    list_delete(list_, file_.deleter);
}

template <typename Handle>
Handle Records<Handle>::find(std::size_t id) const
{
    return by_id_.get(id);
}

template <typename Handle>
std::vector<std::size_t> Records<Handle>::duplicated_ids() const
{
    std::vector<std::size_t> ids = duplicates_;
    std::sort(ids.begin(), ids.end());
    ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
    return ids;
}

template <typename Handle>
void Records<Handle>::index(Handle record)
{
    std::size_t id = id_of(record);
    Handle& slot = by_id_.at(id);
    if (slot != nullptr)
        duplicates_.push_back(id);
    else
        slot = record;
    if (id <= highest_)
        in_id_order_ = false;
    highest_ = std::max(highest_, id);
}

template <typename Handle>
void Records<Handle>::prepare_index()
{
    items_.clear();
    items_.reserve(list_size(list_));
    by_id_.reserve(list_size(list_));
}

template <typename Handle>
std::size_t Records<Handle>::take_id()
{
    if (next_id_ == 0 || next_id_ == SIZE_MAX)
        throw Failure(kFiles, fmt::format("{}: no identifier left to hand out (the trailer is "
                                          "{})",
                                          name_, next_id_));
    Handle holder = find(next_id_);
    /* A record added just before its identifier was taken is the last added. */
    if (holder != nullptr && std::find(added_.rbegin(), added_.rend(), holder) == added_.rend())
        throw Failure(kFiles, fmt::format("{}: identifier {} is already in use, the trailer "
                                          "fell behind; run `lendrec check --repair`",
                                          name_, next_id_));
    touch();
    return next_id_++;
}

template <typename Handle>
void Records<Handle>::set_next_id(std::size_t id)
{
    next_id_ = id;
    touch();
}

template <typename Handle>
void Records<Handle>::reserve(std::size_t count)
{
    items_.reserve(items_.size() + count);
    added_.reserve(added_.size() + count);
    by_id_.reserve(items_.size() + count);
}

template <typename Handle>
bool Records<Handle>::add(Handle record)
{
    if (list_push_back(list_, record) == nullptr) {
        file_.deleter(record);
        return false;
    }
    items_.push_back(record);
    index(record);
    added_.push_back(record);
    news_.push_back(record);
    touch();
    return true;
}

template <typename Handle>
std::size_t Records<Handle>::remove_if(const std::function<bool(Handle)>& doomed)
{
    std::vector<Handle> going;
    for (Handle record : items_)
        if (doomed(record))
            going.push_back(record);
    if (going.empty())
        return 0;
    std::unordered_set<Handle> set(going.begin(), going.end());
    std::erase_if(items_, [&set](Handle record) { return set.contains(record); });
    std::erase_if(news_, [&set](Handle record) { return set.contains(record); });
    for (Handle record : going) {
        std::erase(added_, record);
        if (by_id_.get(id_of(record)) == record)
            by_id_.erase(id_of(record));
    }
    for (Handle record : going)
        list_search_remove(
            list_, [](void* element, void* wanted) { return element == wanted; }, record,
            file_.deleter);
    removed_any_ = true;
    touch();
    return going.size();
}

template <typename Handle>
void Records<Handle>::remove(Handle record)
{
    remove_if([record](Handle candidate) { return candidate == record; });
}

template <typename Handle>
void Records<Handle>::changed(Handle record)
{
    news_.push_back(record);
    touch();
}

template <typename Handle>
void Records<Handle>::settle()
{
    if (touched_) {
        problems.clear();
        missing = false;
    }
    news_.clear();
    removed_any_ = false;
    touched_ = false;
}

template class Records<Book>;
template class Records<User>;
template class Records<Borrow>;

} // namespace desk
