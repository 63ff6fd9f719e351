/*
 * loan_history.hpp - the past, as the desk tells it: every loan of a book
 * or a user with its dates, renewals and fines, and the lines of the
 * history a clerk asks for. Read from the loan records and the history
 * together: a loan lent before the history began still shows, with what
 * its record knows; a loan whose record was removed still shows, with what
 * the history knows.
 */
#ifndef LENDREC_ENGINE_LOAN_HISTORY_HPP
#define LENDREC_ENGINE_LOAN_HISTORY_HPP

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "history.hpp"
#include "library.hpp"

namespace desk {

/* One loan, told from its record and the history. */
struct LoanStory {
    std::size_t loan = 0, book = 0, user = 0;
    std::optional<Day> lent{}, due{}; /* none when neither tells it */
    bool returned = false;
    std::optional<Day> returned_on{}; /* when the history tells it */
    std::size_t renewals = 0;
    std::int64_t fined = 0; /* minor units */
    bool on_record = false; /* loans.csv holds it */
};

/* Whose loans: a book's or a user's. */
enum class Whose { book, user };

/* What a reading of the history found: the stories or lines asked for,
 * and the lines of the history that could not be read. */
template <typename Item>
struct FromHistory {
    std::vector<Item> items;
    std::vector<Problem> problems;
};

/* Every loan of book or user `id`, in the order they were lent (by loan
 * identifier). Refused (kRefused) when there is no such record and no loan
 * or line names it. Throws what Library::read_history throws. */
FromHistory<LoanStory> loan_stories(const Library& lib, Whose whose, std::size_t id);

/* Which lines of the history a clerk asks for: from a day on, by one clerk
 * (compared by text::fold); none given, every line. */
struct LogFilter {
    std::optional<Day> since;
    std::string clerk;
};

/* The lines of the history `filter` keeps, in the order they happened. */
FromHistory<Entry> history_lines(const Library& lib, const LogFilter& filter);

} // namespace desk

#endif
