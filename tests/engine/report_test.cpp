/*
 * report_test.cpp - the history's check-outs counted: a book or user the
 * records never held, months across a year's end, and the period's ends.
 */
#include <gtest/gtest.h>

#include "memory_store.hpp"
#include "report.hpp"

namespace desk {
namespace {

/* "key:loans" of each count, in order. */
std::vector<std::string> rows(const FromHistory<LoanCount>& found)
{
    std::vector<std::string> out;
    for (const LoanCount& count : found.items)
        out.push_back(count.key + ":" + std::to_string(count.loans));
    return out;
}

TEST(Report, CountsEveryCheckOutTheHistoryHolds)
{
    auto store = std::make_unique<test::MemoryStore>();
    store->books = {{1, "Dune", "Anon", "SF", 3, 3}, {2, "Emma", "Anon", "Novel", 1, 1}};
    const auto lent = [](const char* day, std::size_t book, std::size_t user) {
        return Entry{.at = "2026-01-15T09:30:00Z",
                     .clerk = "ann",
                     .action = Action::checkout,
                     .date = *parse_date(day),
                     .book = book,
                     .user = user,
                     .loan = 1};
    };
    /* Book 90000 and user 70000 are far past any id the records hand out. */
    store->history_entries = {lent("30/11/2025", 1, 1), lent("31/12/2025", 90000, 1),
                              lent("01/02/2026", 2, 70000), lent("28/02/2026", 1, 1)};
    store->history_entries.push_back(store->history_entries[0]);
    store->history_entries.back().action = Action::returned;
    auto lib = Library::open(std::move(store));
    struct Case {
        CountBy by;
        const char *from, *to;
        std::vector<std::string> rows;
    };
    const Case cases[] = {
        {CountBy::month, "", "", {"2025-11:1", "2025-12:1", "2026-01:0", "2026-02:2"}},
        {CountBy::month, "31/12/2025", "01/02/2026", {"2025-12:1", "2026-01:0", "2026-02:1"}},
        {CountBy::genre, "", "", {"SF:2", "(no such book):1", "Novel:1"}},
        {CountBy::book, "", "", {"1:2", "2:1", "90000:1"}},
        {CountBy::user, "01/12/2025", "", {"1:2", "70000:1"}},
        {CountBy::book, "01/03/2026", "", {}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(rows(count_loans(*lib, c.by, report_period(c.from, c.to))), c.rows)
            << static_cast<int>(c.by) << " " << c.from << " " << c.to;
    EXPECT_EQ(rows(top_books(*lib, {}, 2)), (std::vector<std::string>{"1:2", "2:1"}));
}

} // namespace
} // namespace desk
