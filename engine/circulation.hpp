/*
 * circulation.hpp - lending copies and taking them back: checkout,
 * return, renewal and the overdue list. The rules of who may borrow live
 * here and only here. Operations change the library in memory; the caller
 * commits. Refusals are thrown as desk::Failure; nothing is printed.
 */
#ifndef LENDREC_ENGINE_CIRCULATION_HPP
#define LENDREC_ENGINE_CIRCULATION_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "dates.hpp"
#include "fines.hpp"
#include "holds.hpp"
#include "library.hpp"

namespace desk {

/* How long a loan runs and how many open loans a user may hold, when the
 * clerk says so for one command; what is not given follows the library's
 * policy (policy.hpp) for the book's genre. A clerk may always be stricter
 * than the policy; going past it (a longer loan, a higher limit, a user
 * the policy blocks, a renewal past the policy's) takes an override, whose
 * reason goes into the history with what it let through. */
struct LoanTerms {
    std::optional<std::size_t> days{};
    std::optional<std::size_t> limit{};
    std::optional<std::string> override_reason{};
};

/* The loan with identifier `id`, or the refusal of find_or_refuse. */
Borrow find_loan(const Library& lib, std::size_t id);

/* Lends a copy of book `book_id` to user `user_id` on `day`; the new loan
 * (the library's), due after the loan period, moved on to the next day the
 * library is open. A copy set aside for the user's hold fills the hold.
 * Refused when no copy is on the shelf (or every free one is set aside
 * for others' holds), the user holds the limit of loans (of all, or of the
 * book's genre where the policy limits it), owes the policy's blocking
 * amount or, where the policy says so, has a loan overdue on `day`, the
 * terms are out of range or the due date falls past rules::kLastYear.
 * Holds waiting past their pickup day on `day` expire first. */
Borrow checkout(Library& lib, std::size_t book_id, std::size_t user_id, Day day,
                const LoanTerms& terms);

/* What a return did: the loan, its book (null when missing), whether the
 * copy went back on the shelf, the days it came back late (0 or more),
 * the hold the copy was set aside for instead, and the fine charged. */
struct Returned {
    Borrow loan;
    Book book;
    bool shelved;
    long days_late;
    std::optional<Hold> set_aside;
    std::optional<Fine> fine;
};

/* Takes loan `loan_id` back on `day`: the copy is set aside for the first
 * hold in line, or goes back on the shelf; a late return is fined as the
 * policy says. Refused when there is no such loan, it was already returned
 * or `day` is before the loan's date. */
Returned give_back(Library& lib, std::size_t loan_id, Day day);

/* Takes back the one open loan of book `book_id` to user `user_id`, as
 * above; refused when the user holds none or several. */
Returned give_back(Library& lib, std::size_t book_id, std::size_t user_id, Day day);

/* Takes back the one open loan of book `book_id`, whoever holds it, as
 * above: for a return box where the member is not at hand. Refused with
 * the reason when the book is not held (no_such_record), or has no loan
 * out or several (then the member must be named). */
Returned give_back_book(Library& lib, std::size_t book_id, Day day);

/* Moves loan `loan_id`'s due date on by the terms' days (none: the
 * policy's loan period for the book's genre), renewed on `day`, to the
 * next open day; the new due date. Refused when returned, overdue on
 * `day`, `day` is before the loan's date, the days are out of range, the
 * due date falls too late, another user's hold waits for the book with
 * no copy on the shelf, or, unless overridden, the loan has been renewed
 * as often as the policy allows. */
Day renew(Library& lib, std::size_t loan_id, Day day, const LoanTerms& terms);

/* The due date of a loan, read from its record. */
Day due_of(Borrow loan);

/* Days `loan` is overdue on `day`: 0 when not yet due. */
long days_overdue(Borrow loan, Day day);

/* One open loan past its due date. */
struct OverdueLoan {
    Borrow loan;
    Day due;
    long days;
};

/* The open loans overdue on `day`, oldest due date first (file order among
 * equals). */
std::vector<OverdueLoan> overdue(const Library& lib, Day day);

} // namespace desk

#endif
