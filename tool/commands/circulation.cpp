/*
 * circulation.cpp - `lendrec checkout|return|renew|overdue`: lending copies
 * and taking them back.
 */
#include <algorithm>
#include <cstdio>
#include <memory>

#include <fmt/format.h>

#include "commands.hpp"
#include "output.hpp"

namespace desk {

namespace {

constexpr std::size_t kDefaultDays = 28;
constexpr std::size_t kDefaultLimit = 5;
constexpr std::size_t kMaxDays = 3650;

struct LoanArgs {
    std::string book, user, loan, date, days, limit;
    bool json = false;
};

std::size_t loan_days(const LoanArgs& args)
{
    return args.days.empty() ? kDefaultDays : parse_count(args.days, "--days", 1, kMaxDays);
}

/* The due date `days` after `from`, refused past the record files' years. */
Day due_after(Day from, std::size_t days)
{
    Day due = from + std::chrono::days{static_cast<long>(days)};
    if (std::chrono::year_month_day{due}.year() > std::chrono::year{2999})
        throw Failure(kRefused, "the due date would fall after 2999");
    return due;
}

/* The user may borrow: below the limit and nothing overdue on `day`. */
void check_borrower(const Library& lib, User user, Day day, std::size_t limit)
{
    std::span<const Borrow> held = lib.open_loans_of_user(user_get_id(user));
    if (held.size() >= limit)
        throw Failure(kRefused, fmt::format("user {} ({}) already holds {}, the limit",
                                            user_get_id(user), user_get_name(user),
                                            counted(held.size(), "loan", "loans")));
    for (Borrow loan : held)
        if (days_overdue(loan, day) > 0)
            throw Failure(kRefused, fmt::format("user {} ({}) has an overdue loan: loan {}, "
                                                "due {}", user_get_id(user), user_get_name(user),
                                                borrow_get_id(loan), borrow_get_return_date(loan)));
}

void checkout(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    std::size_t days = loan_days(args);
    std::size_t limit = args.limit.empty() ? kDefaultLimit
                                           : parse_count(args.limit, "--limit", 1, 1000000);
    Day due = due_after(day, days);
    auto lib = open_for_change(desk);
    Book book = require_book(*lib, args.book);
    User user = require_user(*lib, args.user);
    if (!book_has_available(book))
        throw Failure(kRefused, fmt::format("no copy of book {} ({}) is on the shelf",
                                            book_get_id(book), book_get_title(book)));
    check_borrower(*lib, user, day, limit);
    std::size_t id = lib->loans().take_id();
    Borrow loan = borrow_new(id, user_get_id(user), book_get_id(book), format_date(day).c_str(),
                             format_date(due).c_str());
    if (loan == nullptr || !lib->add_loan(loan))
        throw std::bad_alloc();
    book_borrow(book);
    lib->books().touch();
    commit(*lib);
    std::printf("loan %zu: book %zu (%s) to user %zu (%s), due %s\n", id, book_get_id(book),
                book_get_title(book), user_get_id(user), user_get_name(user),
                format_date(due).c_str());
}

/* The loan named by LOAN, or the one open loan of --book to --user. */
Borrow loan_to_return(const Library& lib, const LoanArgs& args)
{
    if (!args.loan.empty()) {
        if (!args.book.empty() || !args.user.empty())
            throw Failure(kUsage, "return: give either LOAN or --book and --user, not both");
        return require_loan(lib, args.loan);
    }
    if (args.book.empty() || args.user.empty())
        throw Failure(kUsage, "return: give LOAN, or both --book and --user");
    std::size_t book = parse_id(args.book, "book"), user = parse_id(args.user, "user");
    std::span<const Borrow> open = lib.open_loans_of_user(user);
    std::vector<Borrow> held(open.begin(), open.end());
    std::erase_if(held, [book](Borrow loan) { return borrow_get_book_id(loan) != book; });
    if (held.empty())
        throw Failure(kRefused, fmt::format("user {} holds no copy of book {}", user, book));
    if (held.size() > 1)
        throw Failure(kRefused, fmt::format("user {} holds {} copies of book {}; name the loan "
                                            "(`lendrec user show {}`)", user, held.size(), book,
                                            user));
    return held.front();
}

void return_loan(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    auto lib = open_for_change(desk);
    Borrow loan = loan_to_return(*lib, args);
    std::size_t id = borrow_get_id(loan);
    if (borrow_has_returned(loan))
        throw Failure(kRefused, fmt::format("loan {} was already returned", id));
    if (day < file_date(borrow_get_date(loan)))
        throw Failure(kRefused, fmt::format("loan {} began on {}, after {}", id,
                                            borrow_get_date(loan), format_date(day)));
    lib->close_loan(loan);
    Book book = lib->books().find(borrow_get_book_id(loan));
    bool shelved = book != nullptr && book_return(book);
    if (shelved)
        lib->books().touch();
    commit(*lib);
    long late = days_overdue(loan, day);
    std::string title = book != nullptr ? book_get_title(book) : "(no such book)";
    std::printf("loan %zu returned: book %zu (%s)%s\n", id, borrow_get_book_id(loan),
                title.c_str(), late > 0 ? (", " + counted(static_cast<std::size_t>(late), "day", "days") + " late").c_str() : "");
    if (!shelved)
        std::fprintf(stderr, "lendrec: warning: the copy could not go back on a shelf (book %zu "
                     "is missing or its shelf is full); run `lendrec check`\n",
                     borrow_get_book_id(loan));
}

void renew(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    std::size_t days = loan_days(args);
    auto lib = open_for_change(desk);
    Borrow loan = require_loan(*lib, args.loan);
    std::size_t id = borrow_get_id(loan);
    if (borrow_has_returned(loan))
        throw Failure(kRefused, fmt::format("loan {} was already returned", id));
    if (days_overdue(loan, day) > 0)
        throw Failure(kRefused, fmt::format("loan {} is overdue (due {}); return it instead",
                                            id, borrow_get_return_date(loan)));
    Day due = due_after(file_date(borrow_get_return_date(loan)), days);
    if (!borrow_set_return_date(loan, format_date(due).c_str()))
        throw Failure(kRefused, fmt::format("loan {} cannot be due on {}", id, format_date(due)));
    lib->loans().touch();
    commit(*lib);
    std::printf("loan %zu renewed: due %s\n", id, format_date(due).c_str());
}

void overdue(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    auto lib = open_for_reading(desk);
    std::vector<Borrow> late;
    for (Borrow loan : lib->loans().all())
        if (!borrow_has_returned(loan) && days_overdue(loan, day) > 0)
            late.push_back(loan);
    std::stable_sort(late.begin(), late.end(), [](Borrow a, Borrow b) {
        return file_date(borrow_get_return_date(a)) < file_date(borrow_get_return_date(b));
    });
    nlohmann::json out = nlohmann::json::array();
    Table table({">LOAN", "DUE", ">DAYS", ">BOOK", "TITLE", ">USER", "NAME", "PHONE"});
    for (Borrow loan : late) {
        Book book = lib->books().find(borrow_get_book_id(loan));
        User user = lib->users().find(borrow_get_user_id(loan));
        std::string title = book != nullptr ? book_get_title(book) : "(no such book)";
        std::string name = user != nullptr ? user_get_name(user) : "(no such user)";
        std::string phone = user != nullptr ? user_get_phone(user) : "";
        out.push_back({{"loan", borrow_get_id(loan)}, {"due", borrow_get_return_date(loan)},
                       {"days", days_overdue(loan, day)}, {"book", borrow_get_book_id(loan)},
                       {"title", title}, {"user", borrow_get_user_id(loan)}, {"name", name},
                       {"phone", phone}});
        table.add({std::to_string(borrow_get_id(loan)), borrow_get_return_date(loan),
                   std::to_string(days_overdue(loan, day)),
                   std::to_string(borrow_get_book_id(loan)), title,
                   std::to_string(borrow_get_user_id(loan)), name, phone});
    }
    if (args.json)
        print_json(out);
    else if (late.empty())
        std::printf("nothing overdue on %s\n", format_date(day).c_str());
    else
        table.print();
}

} // namespace

void add_circulation_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<LoanArgs>();

    auto* out = app.add_subcommand("checkout", "Lend a copy of BOOK to USER");
    out->add_option("BOOK", args->book, "The book")->required()->type_name("ID");
    out->add_option("USER", args->user, "The user")->required()->type_name("ID");
    out->add_option("--date", args->date, "Loan date DD/MM/YYYY (default today)")->type_name("DATE");
    out->add_option("--days", args->days, "Loan period in days (default 28)")->type_name("N");
    out->add_option("--limit", args->limit, "Most open loans a user may hold (default 5)")->type_name("N");
    bind(out, desk, args, checkout);

    auto* back = app.add_subcommand("return", "Take a copy back: by LOAN, or --book and --user");
    back->add_option("LOAN", args->loan, "The loan")->type_name("ID");
    back->add_option("--book", args->book, "The book (with --user)")->type_name("ID");
    back->add_option("--user", args->user, "The user (with --book)")->type_name("ID");
    back->add_option("--date", args->date, "Return date DD/MM/YYYY (default today)")->type_name("DATE");
    bind(back, desk, args, return_loan);

    auto* again = app.add_subcommand("renew", "Move a loan's due date on by the loan period");
    again->add_option("LOAN", args->loan, "The loan")->required()->type_name("ID");
    again->add_option("--date", args->date, "Date of the renewal DD/MM/YYYY (default today)")->type_name("DATE");
    again->add_option("--days", args->days, "Loan period in days (default 28)")->type_name("N");
    bind(again, desk, args, renew);

    auto* late = app.add_subcommand("overdue", "Open loans past their due date, oldest first");
    late->add_option("--date", args->date, "As of DD/MM/YYYY (default today)")->type_name("DATE");
    late->add_flag("--json", args->json, "JSON for scripts");
    bind(late, desk, args, overdue);
}

} // namespace desk
