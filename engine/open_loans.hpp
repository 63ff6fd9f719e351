/*
 * open_loans.hpp - the open loans of each book, or of each user, found in
 * constant time.
 *
 * Built once from the loans as loaded: the open ones are laid out grouped
 * by identifier in one array, each group in file order, and an IdMap
 * tells where each group lies. A command changes a handful of loans, so a
 * group it changes is copied out into a small table of its own.
 */
#ifndef LENDREC_ENGINE_OPEN_LOANS_HPP
#define LENDREC_ENGINE_OPEN_LOANS_HPP

#include <cstddef>
#include <cstdint>
#include <span>
#include <unordered_map>
#include <vector>

#include "borrow.h"
#include "id_map.hpp"

namespace desk {

class OpenLoans {
public:
    /* Which identifier of a loan groups it (borrow_get_book_id, say). */
    using Key = std::size_t (*)(Borrow);

    explicit OpenLoans(Key key) : key_(key) {}

    /* Groups `open` (the open loans, in file order); `ids` is about how
     * many identifiers there are. Throws std::bad_alloc when memory runs
     * out. */
    void build(std::span<const Borrow> open, std::size_t ids);

    /* The open loans of identifier `id`, in file order; empty for none.
     * Valid until the next add() or drop(). */
    std::span<const Borrow> of(std::size_t id) const;

    /* Adds an open loan after those of its identifier. */
    void add(Borrow loan);

    /* Takes `loan` out, if it is there. */
    void drop(Borrow loan);

private:
    /* Where a group lies in grouped_: [first, first + count). */
    struct Range {
        std::uint32_t first = 0, count = 0;
        bool operator!=(const Range& other) const
        {
            return first != other.first || count != other.count;
        }
    };

    std::vector<Borrow>& changed_group(std::size_t id);

    Key key_;
    std::vector<Borrow> grouped_;
    IdMap<Range> ranges_;
    std::unordered_map<std::size_t, std::vector<Borrow>> changed_;
};

} // namespace desk

#endif
