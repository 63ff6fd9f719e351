/*
 * circulation.cpp - lending and taking back, and the rules of who may
 * borrow.
 */
#include "circulation.hpp"
#include "text.hpp"

#include <algorithm>
#include <new>

#include <fmt/format.h>

#include "catalogue.hpp"
#include "failure.hpp"
#include "members.hpp"
#include "rules.hpp"

namespace desk {

namespace {

void check_days(std::size_t days)
{
    if (days < 1 || days > rules::kMaxLoanDays)
        throw Failure(kRefused,
                      fmt::format("a loan runs 1 to {} days, not {}", rules::kMaxLoanDays, days));
}

/* The due date `days` after `from`, on the next day the library is open;
 * refused past the desk's years. */
Day due_after(const Library& lib, Day from, std::size_t days)
{
    Day due = lib.policy().next_open_day(from + std::chrono::days{static_cast<long>(days)});
    if (std::chrono::year_month_day{due}.year() > std::chrono::year{rules::kLastYear})
        throw Failure(kRefused, fmt::format("the due date would fall after {}", rules::kLastYear));
    return due;
}

/* Nothing happens to a loan on a day before it began. */
void check_not_before(Borrow loan, Day day)
{
    if (day < file_date(borrow_get_date(loan)))
        throw Failure(kRefused, fmt::format("loan {} began on {}, after {}", borrow_get_id(loan),
                                            borrow_get_date(loan), format_date(day)));
}

void check_open(Borrow loan)
{
    if (borrow_has_returned(loan))
        throw Failure(kRefused, fmt::format("loan {} was already returned", borrow_get_id(loan)));
}

/* The genre of the book `loan` lends; "" when the book is missing. */
std::string_view genre_of(const Library& lib, Borrow loan)
{
    Book book = lib.books().find(borrow_get_book_id(loan));
    return book != nullptr ? book_get_genre(book) : "";
}

/* A refusal of the policy, `rule` naming what it refused without naming
 * anyone ("the loan limit"): thrown as `told`, unless the terms override
 * it, when the history records the override, what it let through and its
 * reason. */
void unless_overridden(Library& lib, const LoanTerms& terms, Entry about, const char* rule,
                       const std::string& told)
{
    if (!terms.override_reason)
        throw Failure(kRefused, told);
    about.action = Action::overridden;
    about.note = fmt::format("{}; reason: {}", rule, *terms.override_reason);
    lib.record(std::move(about));
}

/* The user may borrow a book of `genre` on `day`: below the limit of all
 * loans and of that genre's, and, where the policy says so, nothing
 * overdue; or the terms override what stands in the way. */
void check_borrower(Library& lib, User user, std::string_view genre, Day day,
                    const LoanTerms& terms, const Entry& about)
{
    const Policy& policy = lib.policy();
    std::span<const Borrow> held = lib.open_loans_of_user(user_get_id(user));
    const std::size_t limit = terms.limit.value_or(policy.loan.limit);
    if (limit > policy.loan.limit)
        unless_overridden(lib, terms, about, "a higher loan limit than the policy's",
                          fmt::format("the policy's loan limit is {}; a higher one takes "
                                      "--override REASON",
                                      policy.loan.limit));
    if (held.size() >= limit)
        unless_overridden(lib, terms, about, "the loan limit",
                          fmt::format("user {} ({}) already holds {}, the limit", user_get_id(user),
                                      user_get_name(user),
                                      text::counted(held.size(), "loan", "loans")));
    /* A genre limited below the rest counts its own loans. */
    if (const std::size_t of_genre = policy.limit_for(genre); !terms.limit && of_genre < limit) {
        const auto same = std::count_if(held.begin(), held.end(),
                                        [&](Borrow loan) { return genre_of(lib, loan) == genre; });
        if (static_cast<std::size_t>(same) >= of_genre)
            unless_overridden(
                lib, terms, about, "the genre's loan limit",
                fmt::format("user {} ({}) already holds {} of {}, the limit for {}",
                            user_get_id(user), user_get_name(user),
                            text::counted(static_cast<std::size_t>(same), "loan", "loans"), genre,
                            genre));
    }
    const std::size_t owed = balance_of(lib, user_get_id(user));
    if (policy.fine.block_at != 0 && owed >= policy.fine.block_at)
        unless_overridden(lib, terms, about, "fines owed",
                          fmt::format("user {} ({}) owes {} in fines; the policy lends to no one "
                                      "owing {}",
                                      user_get_id(user), user_get_name(user), format_amount(owed),
                                      format_amount(policy.fine.block_at)));
    if (!policy.loan.block_when_overdue)
        return;
    for (Borrow loan : held)
        if (days_overdue(loan, day) > 0) {
            unless_overridden(lib, terms, about, "an overdue loan",
                              fmt::format("user {} ({}) has an overdue loan: loan {}, due {}",
                                          user_get_id(user), user_get_name(user),
                                          borrow_get_id(loan), borrow_get_return_date(loan)));
            return;
        }
}

/* The loan period the terms ask for `genre`: the policy's unless given;
 * one longer than the policy's takes an override. */
std::size_t loan_days(Library& lib, std::string_view genre, const LoanTerms& terms,
                      const Entry& about)
{
    const std::size_t policy_days = lib.policy().days_for(genre);
    const std::size_t days = terms.days.value_or(policy_days);
    check_days(days);
    if (days > policy_days)
        unless_overridden(lib, terms, about, "a longer loan than the policy's",
                          fmt::format("the policy lends {} for {}; a longer loan takes "
                                      "--override REASON",
                                      genre.empty() ? "a book" : std::string(genre),
                                      text::counted(policy_days, "day", "days")));
    return days;
}

/* Lends the copy set aside for `hold` as loan `loan_id`: the hold is
 * filled. */
void fill_hold(Library& lib, Hold& hold, std::size_t loan_id, Day day)
{
    hold.state = HoldState::filled;
    hold.ended = day;
    lib.holds().touched = true;
    lib.record({.action = Action::hold_filled,
                .date = day,
                .book = hold.book,
                .user = hold.user,
                .loan = loan_id,
                .hold = hold.id});
}

/* The terms with the override's reason cleaned for the history. */
LoanTerms checked(const LoanTerms& terms)
{
    LoanTerms out = terms;
    if (out.override_reason)
        out.override_reason = record_text(*out.override_reason, "a reason", rules::kMaxReason);
    return out;
}

} // namespace

Borrow find_loan(const Library& lib, std::size_t id)
{
    return find_or_refuse(lib.loans(), id);
}

Day due_of(Borrow loan)
{
    return file_date(borrow_get_return_date(loan));
}

long days_overdue(Borrow loan, Day day)
{
    return std::max(0L, days_between(due_of(loan), day));
}

Borrow checkout(Library& lib, std::size_t book_id, std::size_t user_id, Day day,
                const LoanTerms& given)
{
    const LoanTerms terms = checked(given);
    expire_holds(lib, day);
    if (terms.limit && *terms.limit < 1)
        throw Failure(kRefused, "the loan limit must be at least 1");
    Book book = find_book(lib, book_id);
    User user = find_user(lib, user_id);
    const std::string_view genre = book_get_genre(book);
    Entry about{.action = Action::checkout, .date = day, .book = book_id, .user = user_id};
    about.loan = lib.loans().next_id();
    const std::size_t days = loan_days(lib, genre, terms, about);
    Day due = due_after(lib, day, days);
    Hold* filled = waiting_hold(lib, book_id, user_id);
    if (filled == nullptr && !book_has_available(book))
        throw Failure(kRefused,
                      copies_set_aside(lib, book_id) > 0
                          ? fmt::format("every free copy of book {} ({}) is set aside for a hold",
                                        book_id, book_get_title(book))
                          : fmt::format("no copy of book {} ({}) is on the shelf", book_id,
                                        book_get_title(book)));
    check_borrower(lib, user, genre, day, terms, about);
    std::size_t id = lib.loans().take_id();
    Borrow loan =
        borrow_new(id, user_id, book_id, format_date(day).c_str(), format_date(due).c_str());
    if (loan == nullptr || !lib.add_loan(loan))
        throw std::bad_alloc();
    about.loan = id;
    about.due = due;
    lib.record(about);
    if (filled != nullptr) /* its copy was set aside, off the shelf already */
        fill_hold(lib, *filled, id, day);
    else {
        book_borrow(book);
        lib.books().changed(book);
    }
    return loan;
}

namespace {

/* The one open loan of book `book_id` to user `user_id`. */
Borrow open_loan_of(const Library& lib, std::size_t book_id, std::size_t user_id)
{
    std::span<const Borrow> open = lib.open_loans_of_user(user_id);
    std::size_t count = 0;
    Borrow found = nullptr;
    for (Borrow loan : open)
        if (borrow_get_book_id(loan) == book_id && count++ == 0)
            found = loan;
    if (count == 0)
        throw Failure(kRefused, fmt::format("user {} holds no copy of book {}", user_id, book_id));
    if (count > 1)
        throw Failure(kRefused, fmt::format("user {} holds {} copies of book {}; name the loan "
                                            "(`lendrec user show {}`)",
                                            user_id, count, book_id, user_id));
    return found;
}

Returned take_back(Library& lib, Borrow loan, Day day)
{
    check_open(loan);
    check_not_before(loan, day);
    expire_holds(lib, day);
    lib.close_loan(loan);
    if (lib.renewals().of_loan.erase(borrow_get_id(loan)) > 0)
        lib.renewals().touched = true;
    const long late = days_overdue(loan, day);
    lib.record({.action = Action::returned,
                .date = day,
                .book = borrow_get_book_id(loan),
                .user = borrow_get_user_id(loan),
                .loan = borrow_get_id(loan),
                .note = late > 0
                            ? text::counted(static_cast<std::size_t>(late), "day late", "days late")
                            : ""});
    Book book = lib.books().find(borrow_get_book_id(loan));
    std::optional<Hold> held =
        book != nullptr ? set_aside_for_next(lib, borrow_get_book_id(loan), day) : std::nullopt;
    const bool shelved = book != nullptr && !held && book_return(book);
    if (shelved)
        lib.books().changed(book);
    std::optional<Fine> fine =
        charge_late_return(lib, borrow_get_id(loan), borrow_get_user_id(loan), due_of(loan), day);
    return {loan, book, shelved, late, held, fine};
}

} // namespace

Returned give_back(Library& lib, std::size_t loan_id, Day day)
{
    return take_back(lib, find_loan(lib, loan_id), day);
}

Returned give_back(Library& lib, std::size_t book_id, std::size_t user_id, Day day)
{
    return take_back(lib, open_loan_of(lib, book_id, user_id), day);
}

Returned give_back_book(Library& lib, std::size_t book_id, Day day)
{
    find_book(lib, book_id);
    const std::span<const Borrow> open = lib.open_loans_of_book(book_id);
    if (open.empty())
        throw Failure(kRefused, fmt::format("book {} has no loan out", book_id));
    if (open.size() > 1)
        throw Failure(kRefused, fmt::format("book {} has {} out; pick the member first", book_id,
                                            text::counted(open.size(), "loan", "loans")));
    return take_back(lib, open.front(), day);
}

Day renew(Library& lib, std::size_t loan_id, Day day, const LoanTerms& given)
{
    const LoanTerms terms = checked(given);
    Borrow loan = find_loan(lib, loan_id);
    Entry about{.action = Action::renewed,
                .date = day,
                .book = borrow_get_book_id(loan),
                .user = borrow_get_user_id(loan),
                .loan = loan_id};
    const std::size_t days = loan_days(lib, genre_of(lib, loan), terms, about);
    check_open(loan);
    check_not_before(loan, day);
    if (days_overdue(loan, day) > 0)
        throw Failure(kRefused, fmt::format("loan {} is overdue (due {}); return it instead",
                                            loan_id, borrow_get_return_date(loan)));
    expire_holds(lib, day);
    Book book = lib.books().find(borrow_get_book_id(loan));
    if (const Hold* waiting =
            queued_for_other(lib, borrow_get_book_id(loan), borrow_get_user_id(loan));
        waiting != nullptr && book != nullptr && !book_has_available(book))
        throw Failure(kRefused, fmt::format("hold {} waits for book {} ({}) and no other copy is "
                                            "free; return it instead",
                                            waiting->id, book_get_id(book), book_get_title(book)));
    const std::size_t used = lib.renewals().count(loan_id), most = lib.policy().loan.renewals;
    if (used >= most)
        unless_overridden(lib, terms, about, "the renewals limit",
                          fmt::format("loan {} has been renewed {}, the most the policy allows",
                                      loan_id, text::counted(used, "time", "times")));
    Day due = due_after(lib, due_of(loan), days);
    if (!borrow_set_return_date(loan, format_date(due).c_str()))
        throw Failure(kRefused,
                      fmt::format("loan {} cannot be due on {}", loan_id, format_date(due)));
    lib.loans().changed(loan);
    ++lib.renewals().of_loan[loan_id];
    lib.renewals().touched = true;
    about.due = due;
    lib.record(std::move(about));
    return due;
}

std::vector<OverdueLoan> overdue(const Library& lib, Day day)
{
    std::vector<OverdueLoan> late;
    for (Borrow loan : lib.open_loans()) {
        Day due = due_of(loan);
        if (due < day)
            late.push_back({loan, due, days_between(due, day)});
    }
    std::stable_sort(late.begin(), late.end(),
                     [](const OverdueLoan& a, const OverdueLoan& b) { return a.due < b.due; });
    return late;
}

} // namespace desk
