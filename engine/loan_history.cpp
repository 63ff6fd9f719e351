/*
 * loan_history.cpp - loans and lines of the past.
 */
#include "loan_history.hpp"

#include <map>

#include <fmt/format.h>

#include "circulation.hpp"
#include "failure.hpp"
#include "text.hpp"

namespace desk {

namespace {

std::size_t whose_id(Whose whose, std::size_t book, std::size_t user)
{
    return whose == Whose::book ? book : user;
}

/* What a line of the history adds to its loan's story. */
void tell(LoanStory& story, const Entry& entry)
{
    /* A loan on record is due when its record says; one no longer on
     * record, when its last check-out or renewal said. */
    const bool sets_due = entry.action == Action::checkout || entry.action == Action::renewed;
    if (sets_due && entry.due && !story.on_record)
        story.due = entry.due;
    switch (entry.action) {
    case Action::checkout:
        story.lent = entry.date;
        break;
    case Action::returned:
        story.returned = true;
        story.returned_on = entry.date;
        break;
    case Action::renewed:
        ++story.renewals;
        break;
    case Action::fine_charged:
        story.fined += entry.amount.value_or(0);
        break;
    default:
        break;
    }
}

} // namespace

FromHistory<LoanStory> loan_stories(const Library& lib, Whose whose, std::size_t id)
{
    std::map<std::size_t, LoanStory> stories;
    for (Borrow loan : lib.loans().all())
        if (whose_id(whose, borrow_get_book_id(loan), borrow_get_user_id(loan)) == id)
            stories[borrow_get_id(loan)] = {borrow_get_id(loan),
                                            borrow_get_book_id(loan),
                                            borrow_get_user_id(loan),
                                            file_date(borrow_get_date(loan)),
                                            due_of(loan),
                                            borrow_has_returned(loan),
                                            std::nullopt,
                                            0,
                                            0,
                                            true};
    FromHistory<LoanStory> found;
    /* A line about a loan of the subject's counts, though it may not name
     * the book (a fine names the user and the loan). */
    found.problems = lib.read_history([&](const Entry& entry) {
        if (entry.loan == 0)
            return;
        auto known = stories.find(entry.loan);
        if (known == stories.end() && whose_id(whose, entry.book, entry.user) != id)
            return;
        if (known == stories.end())
            known =
                stories.emplace(entry.loan, LoanStory{entry.loan, entry.book, entry.user}).first;
        tell(known->second, entry);
    });
    const bool exists =
        whose == Whose::book ? lib.books().find(id) != nullptr : lib.users().find(id) != nullptr;
    if (!exists && stories.empty())
        throw Failure(kRefused,
                      fmt::format("no {} {}, and no loan of one in the history",
                                  whose == Whose::book ? "book" : "user", id),
                      Cause::no_such_record);
    for (auto& [loan, story] : stories)
        found.items.push_back(story);
    return found;
}

FromHistory<Entry> history_lines(const Library& lib, const LogFilter& filter)
{
    const std::string clerk = text::fold(filter.clerk);
    FromHistory<Entry> found;
    found.problems = lib.read_history([&](const Entry& entry) {
        if (filter.since && entry.date < *filter.since)
            return;
        if (!clerk.empty() && text::fold(entry.clerk) != clerk)
            return;
        found.items.push_back(entry);
    });
    return found;
}

} // namespace desk
