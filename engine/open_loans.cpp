/*
 * open_loans.cpp - open loans grouped by book or by user.
 */
#include "open_loans.hpp"

#include <algorithm>
#include <new>
#include <utility>

namespace desk {

void OpenLoans::build(std::vector<Keyed> keyed, std::size_t ids)
{
    if (keyed.size() > UINT32_MAX)
        throw std::bad_alloc(); /* far beyond what any library lends */
    std::stable_sort(keyed.begin(), keyed.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    grouped_.clear();
    grouped_.reserve(keyed.size());
    ranges_.reserve(ids);
    for (std::size_t first = 0, last = 0; first < keyed.size(); first = last) {
        for (last = first; last < keyed.size() && keyed[last].first == keyed[first].first; ++last)
            grouped_.push_back(keyed[last].second);
        ranges_.at(keyed[first].first) = {static_cast<std::uint32_t>(first),
                                          static_cast<std::uint32_t>(last - first)};
    }
}

std::span<const Borrow> OpenLoans::of(std::size_t id) const
{
    if (!changed_.empty())
        if (auto found = changed_.find(id); found != changed_.end())
            return found->second;
    const Range range = ranges_.get(id);
    return std::span<const Borrow>(grouped_).subspan(range.first, range.count);
}

/* The group of `id`, copied out the first time it changes. */
std::vector<Borrow>& OpenLoans::changed_group(std::size_t id)
{
    auto found = changed_.find(id);
    if (found != changed_.end())
        return found->second;
    const std::span<const Borrow> group = of(id);
    return changed_.emplace(id, std::vector<Borrow>(group.begin(), group.end())).first->second;
}

void OpenLoans::add(Borrow loan)
{
    changed_group(key_(loan)).push_back(loan);
}

void OpenLoans::drop(Borrow loan)
{
    std::erase(changed_group(key_(loan)), loan);
}

} // namespace desk
