/*
 * open_loans.cpp - open loans grouped by book or by user.
 */
#include "open_loans.hpp"

#include <new>

namespace desk {

/* Counts each identifier's loans, gives each group its place in grouped_,
 * then puts each loan in its group: no sort, and no copy of the loans. */
void OpenLoans::build(std::span<const Borrow> open, std::size_t ids)
{
    if (open.size() > UINT32_MAX)
        throw std::bad_alloc(); /* far beyond what any library lends */
    ranges_ = {};
    ranges_.reserve(ids);
    for (Borrow loan : open)
        ++ranges_.at(key_(loan)).count;
    std::uint32_t next = 0;
    ranges_.each([&next](Range& range) {
        range.first = next;
        next += range.count;
        range.count = 0;
    });
    grouped_.assign(open.size(), nullptr);
    for (Borrow loan : open) {
        Range& range = ranges_.at(key_(loan));
        grouped_[range.first + range.count++] = loan;
    }
    changed_.clear();
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
