/*
 * report.hpp - what the library lent, counted from the history's
 * check-outs: the loans of a period by month, genre, book or user, and the
 * books borrowed most. A loan counts in the period its check-out's date
 * falls in; a loan whose record was removed still counts, as the history
 * keeps it.
 */
#ifndef LENDREC_ENGINE_REPORT_HPP
#define LENDREC_ENGINE_REPORT_HPP

#include <cstddef>
#include <optional>
#include <string>

#include "dates.hpp"
#include "library.hpp"
#include "loan_history.hpp"

namespace desk {

/* The days a report covers, both ends included; an end not given leaves
 * that side open (the whole history). */
struct Period {
    std::optional<Day> from, to;

    bool holds(Day day) const { return (!from || *from <= day) && (!to || day <= *to); }
};

/* The period of --from and --to (DD/MM/YYYY, each "" when not given):
 * date_option's refusals, and Failure kRefused when `from` is after `to`. */
Period report_period(const std::string& from, const std::string& to);

/* What a loans report counts by. */
enum class CountBy { month, genre, book, user };

/* The genre a loan counts under when its book has been removed. */
inline constexpr const char* kNoSuchBook = "(no such book)";

/* The loans counted under one key: a month ("2026-01"), a genre (the
 * book's genre today), or a book's or user's id (also in `id`, which is 0
 * by month or genre). */
struct LoanCount {
    std::string key;
    std::size_t id = 0;
    std::size_t loans = 0;
};

/* The check-outs of `period` counted by `by`: by month, every month in
 * order from the first with a loan to the last (those between with 0);
 * by genre, book or user, most loans first, then by key (ids as
 * numbers). Throws what Library::read_history throws. */
FromHistory<LoanCount> count_loans(const Library& lib, CountBy by, const Period& period);

/* The `limit` books lent most in `period`, as count_loans by book. */
FromHistory<LoanCount> top_books(const Library& lib, const Period& period, std::size_t limit);

} // namespace desk

#endif
