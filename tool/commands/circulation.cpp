/*
 * circulation.cpp - `lendrec checkout|return|renew|overdue|notices`: lending
 * copies, taking them back, and the loans to tell users about.
 */
#include <cstdio>
#include <limits>
#include <memory>

#include <fmt/format.h>

#include "commands.hpp"
#include "notices.hpp"
#include "output.hpp"
#include "views.hpp"

namespace desk {

namespace {

struct LoanArgs {
    std::string book, user, loan, date, days, limit, within;
    std::optional<std::string> override_reason;
    bool json = false, csv = false;
};

/* A count as written (--days, --limit); the engine judges its range. */
std::size_t count_of(const std::string& text, const char* option)
{
    return parse_count(text, option, 0, std::numeric_limits<std::size_t>::max());
}

/* The loan terms given; the policy's for those not given. */
LoanTerms terms_of(const LoanArgs& args)
{
    LoanTerms terms;
    if (!args.days.empty())
        terms.days = count_of(args.days, "--days");
    if (!args.limit.empty())
        terms.limit = count_of(args.limit, "--limit");
    terms.override_reason = args.override_reason;
    return terms;
}

void run_checkout(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    LoanTerms terms = terms_of(args);
    std::size_t book = parse_id(args.book, "book"), user = parse_id(args.user, "user");
    auto lib = open_for_change(desk);
    LoanView loan = LoanView::of(*lib, checkout(*lib, book, user, day, terms), day);
    commit(*lib);
    std::printf("loan %zu: book %zu (%s) to user %zu (%s), due %s\n", loan.id, loan.book,
                loan.title.value_or("").c_str(), loan.user, loan.name.value_or("").c_str(),
                loan.due.c_str());
}

/* Takes back the loan named by LOAN, or the one open loan of --book to
 * --user. */
Returned take_back(Library& lib, const LoanArgs& args, Day day)
{
    if (!args.loan.empty()) {
        if (!args.book.empty() || !args.user.empty())
            throw Failure(kUsage, "return: give either LOAN or --book and --user, not both");
        return give_back(lib, parse_id(args.loan, "loan"), day);
    }
    if (args.book.empty() || args.user.empty())
        throw Failure(kUsage, "return: give LOAN, or both --book and --user");
    return give_back(lib, parse_id(args.book, "book"), parse_id(args.user, "user"), day);
}

void run_return(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    auto lib = open_for_change(desk);
    Returned back = take_back(*lib, args, day);
    LoanView loan = LoanView::of(*lib, back.loan, day);
    commit(*lib);
    std::string late =
        back.days_late > 0
            ? ", " + counted(static_cast<std::size_t>(back.days_late), "day", "days") + " late"
            : "";
    std::printf("loan %zu returned: book %zu (%s)%s\n", loan.id, loan.book,
                loan.title.value_or("no such book").c_str(), late.c_str());
    if (back.set_aside)
        std::printf("set aside for hold %zu (user %zu), to be picked up by %s\n",
                    back.set_aside->id, back.set_aside->user,
                    format_date(*back.set_aside->pickup_by).c_str());
    if (back.fine)
        std::printf("fined %s %s (fine %zu)\n", format_amount(back.fine->amount).c_str(),
                    lib->policy().fine.currency.c_str(), back.fine->id);
    if (!back.shelved && !back.set_aside)
        std::fprintf(stderr,
                     "lendrec: warning: the copy could not go back on a shelf (book %zu "
                     "is missing or its shelf is full); run `lendrec check`\n",
                     loan.book);
}

void run_renew(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    LoanTerms terms = terms_of(args);
    std::size_t id = parse_id(args.loan, "loan");
    auto lib = open_for_change(desk);
    Day due = renew(*lib, id, day, terms);
    commit(*lib);
    std::printf("loan %zu renewed: due %s\n", id, format_date(due).c_str());
}

void run_overdue(const LoanArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    auto lib = open_for_reading(desk);
    const std::vector<OverdueLoan> late = overdue(*lib, day);
    const auto view = [&lib](const OverdueLoan& loan) { return OverdueView::of(*lib, loan); };
    if (args.json) {
        print_json_array(late, view);
        return;
    }
    if (late.empty()) {
        std::printf("nothing overdue on %s\n", format_date(day).c_str());
        return;
    }
    Table({">LOAN", "DUE", ">DAYS", ">BOOK", "TITLE", ">USER", "NAME", "PHONE"})
        .print([&](Table& table) {
            for (const OverdueLoan& record : late) {
                const OverdueView row = view(record);
                const LoanView& loan = row.loan;
                table.add({loan.id, loan.due, loan.days_overdue, loan.book,
                           text_or(loan.title, "(no such book)"), loan.user,
                           text_or(loan.name, "(no such user)"), text_or(row.phone, "")});
            }
        });
}

/* The days ahead --due-within names, or the default when not given. */
std::size_t due_within(const LoanArgs& args)
{
    return args.within.empty() ? kDefaultDueWithin
                               : parse_count(args.within, "--due-within", 0, kMaxDueWithin);
}

/* The notices as a table, a row each. */
void print_notices(const Library& lib, const std::vector<Notice>& list)
{
    Table({"KIND", ">LOAN", ">HOLD", "DUE", ">DAYS", ">BOOK", "TITLE", ">USER", "NAME", "PHONE",
           "ADDRESS"})
        .print([&](Table& table) {
            for (const Notice& notice : list) {
                const NoticeView row = NoticeView::of(lib, notice);
                table.add({row.kind, row.loan ? std::to_string(row.loan->id) : std::string(),
                           row.hold ? std::to_string(row.hold->id) : std::string(), row.due,
                           row.days, row.book, text_or(row.title, "(no such book)"), row.user,
                           text_or(row.name, "(no such user)"), text_or(row.phone, ""),
                           text_or(row.address, "")});
            }
        });
}

void run_notices(const LoanArgs& args, const Desk& desk)
{
    if (args.csv && args.json)
        throw Failure(kUsage, "notices: give --csv or --json, not both");
    Day day = date_or_today(args.date, "--date");
    const std::size_t within = due_within(args);
    auto lib = open_for_reading(desk);
    const std::vector<Notice> list = notices(*lib, day, within);
    if (args.csv) {
        TextSink out = standard_output();
        notices_csv(*lib, list, out);
    } else if (args.json) {
        print_json_array(list, [&lib](const Notice& n) { return NoticeView::of(*lib, n); });
    } else if (list.empty()) {
        std::printf("nothing overdue on %s, nor due within %s\n", format_date(day).c_str(),
                    counted(within, "day", "days").c_str());
    } else {
        print_notices(*lib, list);
    }
}

} // namespace

void add_circulation_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<LoanArgs>();
    const Policy terms; /* the terms without a policy file */

    auto* out = app.add_subcommand("checkout", "Lend a copy of BOOK to USER");
    out->add_option("BOOK", args->book, "The book")->required()->type_name("ID");
    out->add_option("USER", args->user, "The user")->required()->type_name("ID");
    out->add_option("--date", args->date, "Loan date DD/MM/YYYY (default today)")
        ->type_name("DATE");
    out->add_option("--days", args->days,
                    fmt::format("Loan period in days (default: the policy's, {} without one)",
                                terms.loan.days))
        ->type_name("N");
    out->add_option("--limit", args->limit,
                    fmt::format("Most open loans a user may hold (default: the policy's, {} "
                                "without one)",
                                terms.loan.limit))
        ->type_name("N");
    out->add_option("--override", args->override_reason,
                    "Lend past the policy's limits, for this REASON (kept in the history)")
        ->type_name("REASON");
    bind(out, desk, args, run_checkout);

    auto* back = app.add_subcommand("return", "Take a copy back: by LOAN, or --book and --user");
    back->add_option("LOAN", args->loan, "The loan")->type_name("ID");
    back->add_option("--book", args->book, "The book (with --user)")->type_name("ID");
    back->add_option("--user", args->user, "The user (with --book)")->type_name("ID");
    back->add_option("--date", args->date, "Return date DD/MM/YYYY (default today)")
        ->type_name("DATE");
    bind(back, desk, args, run_return);

    auto* again = app.add_subcommand("renew", "Move a loan's due date on by the loan period");
    again->add_option("LOAN", args->loan, "The loan")->required()->type_name("ID");
    again->add_option("--date", args->date, "Date of the renewal DD/MM/YYYY (default today)")
        ->type_name("DATE");
    again
        ->add_option("--days", args->days,
                     fmt::format("Loan period in days (default: the policy's, {} without one)",
                                 terms.loan.days))
        ->type_name("N");
    again
        ->add_option("--override", args->override_reason,
                     "Renew past the policy's limits, for this REASON (kept in the history)")
        ->type_name("REASON");
    bind(again, desk, args, run_renew);

    auto* late = app.add_subcommand("overdue", "Open loans past their due date, oldest first");
    late->add_option("--date", args->date, "As of DD/MM/YYYY (default today)")->type_name("DATE");
    late->add_flag("--json", args->json, "JSON for scripts");
    bind(late, desk, args, run_overdue);

    auto* told = app.add_subcommand(
        "notices", "Loans to tell their users about: overdue, then falling due soon");
    told->add_option("--due-within", args->within,
                     fmt::format("Loans due within N days (0 to {}, default {})", kMaxDueWithin,
                                 kDefaultDueWithin))
        ->type_name("N");
    told->add_option("--date", args->date, "As of DD/MM/YYYY (default today)")->type_name("DATE");
    told->add_flag("--csv", args->csv, "CSV with a header row, for a mail merge");
    told->add_flag("--json", args->json, "JSON for scripts");
    bind(told, desk, args, run_notices);
}

} // namespace desk
