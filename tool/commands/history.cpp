/*
 * history.cpp - `lendrec history --book ID|--user ID` and `lendrec log`:
 * the past of a book or a user, and the lines of the history.
 */
#include <cstdio>
#include <memory>

#include "commands.hpp"
#include "loan_history.hpp"
#include "output.hpp"
#include "views.hpp"

namespace desk {

namespace {

struct HistoryArgs {
    std::string book, user, since, clerk;
    bool json = false;
};

std::string returned_cell(const LoanStoryView& view)
{
    if (!view.returned)
        return "out";
    return view.returned_on.value_or("(not recorded)");
}

void run_history(const HistoryArgs& args, const Desk& desk)
{
    if (args.book.empty() == args.user.empty())
        throw Failure(kUsage, "history: give either --book or --user");
    const Whose whose = args.book.empty() ? Whose::user : Whose::book;
    const std::size_t id =
        whose == Whose::book ? parse_id(args.book, "book") : parse_id(args.user, "user");
    auto lib = open_library(desk, Access::read, Kinds::all().with_history());
    warn(*lib);
    const FromHistory<LoanStory> found = loan_stories(*lib, whose, id);
    lib->close_store();
    warn_history(found.problems);
    const auto view = [&lib](const LoanStory& story) { return LoanStoryView::of(*lib, story); };
    if (args.json) {
        print_json_array(found.items, view);
        return;
    }
    if (found.items.empty()) {
        std::printf("no loans of %s %zu\n", whose == Whose::book ? "book" : "user", id);
        return;
    }
    const bool by_book = whose == Whose::book;
    Table({">LOAN", "LENT", "DUE", "RETURNED", ">RENEWALS", ">FINED", by_book ? ">USER" : ">BOOK",
           by_book ? "NAME" : "TITLE"})
        .print([&](Table& table) {
            for (const LoanStory& story : found.items) {
                const LoanStoryView row = view(story);
                table.add({row.loan, text_or(row.date, "?"), text_or(row.due, "?"),
                           returned_cell(row), row.renewals,
                           format_amount(static_cast<std::size_t>(row.fined)),
                           by_book ? row.user : row.book,
                           by_book ? text_or(row.name, "(no such user)")
                                   : text_or(row.title, "(no such book)")});
            }
        });
}

void run_log(const HistoryArgs& args, const Desk& desk)
{
    LogFilter filter;
    if (!args.since.empty())
        filter.since = date_option(args.since, "--since");
    filter.clerk = args.clerk;
    auto lib = open_library(desk, Access::read, Kinds::all().with_history());
    warn(*lib);
    const FromHistory<Entry> found = history_lines(*lib, filter);
    lib->close_store();
    warn_history(found.problems);
    if (args.json) {
        print_json_array(found.items, EntryView::of);
        return;
    }
    if (found.items.empty()) {
        std::printf("nothing in the history%s\n",
                    filter.since || !filter.clerk.empty() ? " matches" : " yet");
        return;
    }
    auto id = [](const std::optional<std::size_t>& named) {
        return named ? std::to_string(*named) : std::string();
    };
    auto amount = [](const std::optional<long>& minor) {
        return minor ? format_amount(static_cast<std::size_t>(*minor)) : std::string();
    };
    Table({"AT", "CLERK", "ACTION", "DATE", ">BOOK", ">USER", ">LOAN", ">HOLD", ">FINE", "DUE",
           ">AMOUNT", "NOTE"})
        .print([&](Table& table) {
            for (const Entry& entry : found.items) {
                const EntryView row = EntryView::of(entry);
                table.add({row.at, row.clerk, row.action, row.date, id(row.book), id(row.user),
                           id(row.loan), id(row.hold), id(row.fine), text_or(row.due, ""),
                           amount(row.amount), row.note});
            }
        });
}

} // namespace

void add_history_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<HistoryArgs>();

    auto* past = app.add_subcommand("history", "Every loan of a book or a user, with its dates");
    past->add_option("--book", args->book, "The book")->type_name("ID");
    past->add_option("--user", args->user, "The user")->type_name("ID");
    past->add_flag("--json", args->json, "JSON for scripts");
    bind(past, desk, args, run_history);

    auto* log = app.add_subcommand("log", "The history of changes: who did what, and when");
    log->add_option("--since", args->since, "From DD/MM/YYYY on")->type_name("DATE");
    log->add_option("--clerk", args->clerk, "By this clerk only")->type_name("NAME");
    log->add_flag("--json", args->json, "JSON for scripts");
    bind(log, desk, args, run_log);
}

} // namespace desk
