/*
 * holds.cpp - `lendrec hold place|cancel|list` and `lendrec fine
 * list|pay|waive`: the queue for books that are out, and the money owed
 * for late returns.
 */
#include <cstdio>
#include <memory>

#include "commands.hpp"
#include "output.hpp"
#include "views.hpp"

namespace desk {

namespace {

struct HoldArgs {
    std::string book, user, hold, fine, amount, reason, date;
    bool all = false, json = false;
};

std::optional<std::size_t> id_if_given(const std::string& text, const char* what)
{
    return text.empty() ? std::nullopt : std::optional<std::size_t>(parse_id(text, what));
}

void run_place(const HoldArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    std::size_t book = parse_id(args.book, "book"), user = parse_id(args.user, "user");
    auto lib = open_for_change(desk);
    const HoldView hold = HoldView::of(*lib, place_hold(*lib, book, user, day));
    commit(*lib);
    std::printf("hold %zu: book %zu (%s) for user %zu (%s), number %zu in line\n", hold.id,
                hold.book, hold.title.value_or("").c_str(), hold.user,
                hold.name.value_or("").c_str(), hold.place.value_or(0));
}

void run_cancel(const HoldArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    std::size_t id = parse_id(args.hold, "hold");
    auto lib = open_for_change(desk);
    cancel_hold(*lib, id, day);
    commit(*lib);
    std::printf("hold %zu cancelled\n", id);
}

void run_holds(const HoldArgs& args, const Desk& desk)
{
    HoldFilter filter{id_if_given(args.book, "book"), id_if_given(args.user, "user"), args.all};
    auto lib = open_for_reading(desk);
    const std::vector<Hold> holds = list_holds(*lib, filter);
    const auto view = [&lib](const Hold& hold) { return HoldView::of(*lib, hold); };
    if (args.json) {
        print_json_array(holds, view);
        return;
    }
    if (holds.empty()) {
        std::printf("no holds\n");
        return;
    }
    Table({">HOLD", ">BOOK", "TITLE", ">USER", "NAME", "PLACED", "STATE", ">LINE", "PICK UP BY"})
        .print([&](Table& table) {
            for (const Hold& hold : holds) {
                const HoldView row = view(hold);
                table.add({row.id, row.book, text_or(row.title, "(no such book)"), row.user,
                           text_or(row.name, "(no such user)"), row.placed, row.state,
                           row.place ? std::to_string(*row.place) : std::string(),
                           text_or(row.pickup_by, "")});
            }
        });
}

void run_fines(const HoldArgs& args, const Desk& desk)
{
    const std::optional<std::size_t> user = id_if_given(args.user, "user");
    auto lib = open_for_reading(desk);
    const std::vector<Fine> fines = list_fines(*lib, user, args.all);
    const auto view = [&lib](const Fine& fine) { return FineView::of(*lib, fine); };
    if (args.json) {
        print_json_array(fines, view);
        return;
    }
    if (fines.empty()) {
        std::printf("no fines owed\n");
        return;
    }
    Table({">FINE", ">USER", "NAME", ">LOAN", "CHARGED", "STATE", ">AMOUNT", ">OWED", "REASON"})
        .print([&](Table& table) {
            for (const Fine& fine : fines) {
                const FineView row = view(fine);
                table.add({row.id, row.user, text_or(row.name, "(no such user)"), row.loan,
                           row.charged, row.state, format_amount(row.amount),
                           format_amount(row.owed), row.reason});
            }
        });
}

void run_pay(const HoldArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    std::size_t user = parse_id(args.user, "user");
    std::size_t amount = parse_amount(args.amount, "AMOUNT");
    auto lib = open_for_change(desk);
    const std::size_t left = pay_fines(*lib, user, amount, day);
    commit(*lib);
    std::printf("user %zu paid %s %s; owes %s\n", user, format_amount(amount).c_str(),
                lib->policy().fine.currency.c_str(), format_amount(left).c_str());
}

void run_waive(const HoldArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    std::size_t id = parse_id(args.fine, "fine");
    auto lib = open_for_change(desk);
    const Fine waived = waive_fine(*lib, id, args.reason, day);
    commit(*lib);
    std::printf("fine %zu waived: %s %s\n", id, format_amount(waived.amount - waived.paid).c_str(),
                lib->policy().fine.currency.c_str());
}

CLI::Option* date_option_of(CLI::App* command, HoldArgs& args, const char* what)
{
    return command->add_option("--date", args.date, what)->type_name("DATE");
}

} // namespace

void add_hold_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<HoldArgs>();
    auto* group = app.add_subcommand("hold", "Holds: place, cancel, list");
    group->require_subcommand(1);

    auto* place = group->add_subcommand("place", "Queue USER for BOOK, none of whose copies is "
                                                 "on the shelf");
    place->add_option("BOOK", args->book, "The book")->required()->type_name("ID");
    place->add_option("USER", args->user, "The user")->required()->type_name("ID");
    date_option_of(place, *args, "Date placed DD/MM/YYYY (default today)");
    bind(place, desk, args, run_place);

    auto* cancel = group->add_subcommand("cancel", "Cancel a hold; a copy set aside passes on");
    cancel->add_option("HOLD", args->hold, "The hold")->required()->type_name("ID");
    date_option_of(cancel, *args, "Date cancelled DD/MM/YYYY (default today)");
    bind(cancel, desk, args, run_cancel);

    auto* list = group->add_subcommand("list", "Holds queued or waiting, in the order placed");
    list->add_option("--book", args->book, "Of this book only")->type_name("ID");
    list->add_option("--user", args->user, "Of this user only")->type_name("ID");
    list->add_flag("--all", args->all, "Filled, cancelled and expired holds too");
    list->add_flag("--json", args->json, "JSON for scripts");
    bind(list, desk, args, run_holds);
}

void add_fine_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<HoldArgs>();
    auto* group = app.add_subcommand("fine", "Fines: list, pay, waive");
    group->require_subcommand(1);

    auto* list = group->add_subcommand("list", "Fines still owed, oldest first");
    list->add_option("--user", args->user, "Of this user only")->type_name("ID");
    list->add_flag("--all", args->all, "Paid and waived fines too");
    list->add_flag("--json", args->json, "JSON for scripts");
    bind(list, desk, args, run_fines);

    auto* pay = group->add_subcommand("pay", "Take a payment of USER's fines, oldest first");
    pay->add_option("USER", args->user, "The user")->required()->type_name("ID");
    pay->add_option("AMOUNT", args->amount, "The amount, as 2.50")->required();
    date_option_of(pay, *args, "Date paid DD/MM/YYYY (default today)");
    bind(pay, desk, args, run_pay);

    auto* waive = group->add_subcommand("waive", "Let a fine go, for a reason");
    waive->add_option("FINE", args->fine, "The fine")->required()->type_name("ID");
    waive->add_option("--reason", args->reason, "Why (kept in the history)")
        ->required()
        ->type_name("TEXT");
    date_option_of(waive, *args, "Date waived DD/MM/YYYY (default today)");
    bind(waive, desk, args, run_waive);
}

} // namespace desk
