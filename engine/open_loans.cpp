/*
 * open_loans.cpp - open loans grouped by book or by user.
 */
#include "open_loans.hpp"

#include <algorithm>
#include <new>

namespace desk {

void OpenLoans::build(std::span<const Borrow> loans, std::size_t ids)
{
    grouped_.clear();
    for (Borrow loan : loans)
        if (!borrow_has_returned(loan))
            grouped_.push_back(loan);
    if (grouped_.size() > UINT32_MAX)
        throw std::bad_alloc(); /* far beyond what any library lends */
    std::stable_sort(grouped_.begin(), grouped_.end(),
                     [this](Borrow a, Borrow b) { return key_(a) < key_(b); });
    ranges_.reserve(ids);
    for (std::size_t first = 0, last = 0; first < grouped_.size(); first = last) {
        const std::size_t id = key_(grouped_[first]);
        last = first + 1;
        while (last < grouped_.size() && key_(grouped_[last]) == id)
            ++last;
        ranges_.at(id) = {static_cast<std::uint32_t>(first),
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
