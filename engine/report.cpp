/*
 * report.cpp - the history's check-outs counted.
 */
#include "report.hpp"

#include <algorithm>
#include <limits>
#include <map>
#include <unordered_map>

#include <fmt/format.h>

#include "failure.hpp"

namespace desk {

namespace {

/* Months counted from year 0: 2026-01 is 2026 * 12. */
int month_number(Day day)
{
    const std::chrono::year_month_day date{day};
    return int{date.year()} * 12 + static_cast<int>(unsigned{date.month()}) - 1;
}

std::string month_key(int month)
{
    return fmt::format("{:04}-{:02}", month / 12, month % 12 + 1);
}

/* The first `limit` of `counts` kept, most loans first, then by key, or
 * by id where there is one. */
void sort_counts(std::vector<LoanCount>& counts, std::size_t limit)
{
    const auto before = [](const LoanCount& a, const LoanCount& b) {
        if (a.loans != b.loans)
            return a.loans > b.loans;
        return a.id != b.id ? a.id < b.id : a.key < b.key;
    };
    limit = std::min(limit, counts.size());
    std::partial_sort(counts.begin(), counts.begin() + static_cast<std::ptrdiff_t>(limit),
                      counts.end(), before);
    counts.resize(limit);
}

std::vector<LoanCount> months(const std::map<int, std::size_t>& tally)
{
    std::vector<LoanCount> rows;
    if (tally.empty())
        return rows;
    for (int month = tally.begin()->first; month <= tally.rbegin()->first; ++month) {
        auto found = tally.find(month);
        rows.push_back({month_key(month), 0, found == tally.end() ? 0 : found->second});
    }
    return rows;
}

/* Loans counted by a book's or a user's id: in a table for the ids of a
 * file of `records` records up to `next_id` (the ids a library hands out
 * are dense), in a map past it. */
class IdTally {
public:
    IdTally(std::size_t next_id, std::size_t records)
        : below_(std::min(next_id, 2 * records + 1024), 0)
    {}

    void add(std::size_t id) { ++(id < below_.size() ? below_[id] : beyond_[id]); }

    /* The ids counted and their loans, as LoanCounts without keys. */
    std::vector<LoanCount> counts() const
    {
        std::vector<LoanCount> rows;
        for (std::size_t id = 0; id < below_.size(); ++id)
            if (below_[id] != 0)
                rows.push_back({"", id, below_[id]});
        for (auto [id, loans] : beyond_)
            rows.push_back({"", id, loans});
        return rows;
    }

private:
    std::vector<std::size_t> below_;
    std::unordered_map<std::size_t, std::size_t> beyond_;
};

/* The loans of each book gathered under its genre today. */
std::vector<LoanCount> genres(const Library& lib, const std::vector<LoanCount>& of_book)
{
    std::map<std::string_view, std::size_t> tally;
    for (const LoanCount& book_count : of_book) {
        Book book = lib.books().find(book_count.id);
        tally[book != nullptr ? book_get_genre(book) : kNoSuchBook] += book_count.loans;
    }
    std::vector<LoanCount> rows;
    for (auto [genre, loans] : tally)
        rows.push_back({std::string(genre), 0, loans});
    return rows;
}

/* The check-outs of `period` counted by `by`, the first `limit` kept. */
FromHistory<LoanCount> counted(const Library& lib, CountBy by, const Period& period,
                               std::size_t limit)
{
    std::map<int, std::size_t> of_month;
    IdTally of_id = by == CountBy::user ? IdTally(lib.users().next_id(), lib.users().all().size())
                                        : IdTally(lib.books().next_id(), lib.books().all().size());
    FromHistory<LoanCount> found;
    found.problems = lib.read_history([&](const Entry& entry) {
        if (entry.action != Action::checkout || !period.holds(entry.date))
            return;
        if (by == CountBy::month)
            ++of_month[month_number(entry.date)];
        else
            of_id.add(by == CountBy::user ? entry.user : entry.book);
    });
    if (by == CountBy::month) {
        found.items = months(of_month);
        return found;
    }
    found.items = by == CountBy::genre ? genres(lib, of_id.counts()) : of_id.counts();
    sort_counts(found.items, limit);
    for (LoanCount& count : found.items)
        if (count.id != 0)
            count.key = std::to_string(count.id);
    return found;
}

} // namespace

Period report_period(const std::string& from, const std::string& to)
{
    Period period;
    if (!from.empty())
        period.from = date_option(from, "--from");
    if (!to.empty())
        period.to = date_option(to, "--to");
    if (period.from && period.to && *period.to < *period.from)
        throw Failure(kRefused, fmt::format("--from {} is after --to {}", from, to));
    return period;
}

FromHistory<LoanCount> count_loans(const Library& lib, CountBy by, const Period& period)
{
    return counted(lib, by, period, std::numeric_limits<std::size_t>::max());
}

FromHistory<LoanCount> top_books(const Library& lib, const Period& period, std::size_t limit)
{
    return counted(lib, CountBy::book, period, limit);
}

} // namespace desk
