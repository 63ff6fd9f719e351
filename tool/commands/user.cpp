/*
 * user.cpp - `lendrec user add|list|search|show|edit|remove`: the library's
 * members.
 */
#include <cstdio>
#include <memory>

#include "commands.hpp"
#include "members.hpp"
#include "output.hpp"
#include "search.hpp"
#include "rules.hpp"
#include "views.hpp"

namespace desk {

namespace {

struct UserArgs {
    std::string id, name, address, phone, search, date;
    std::vector<std::string> words;
    bool json = false, purge = false;
};

void run_add(const UserArgs& args, const Desk& desk)
{
    auto lib = open_for_change(desk);
    std::size_t id = add_user(*lib, {args.name, args.address, args.phone});
    commit(*lib);
    std::printf("%zu\n", id);
}

/* Prints `users` of `lib` as the user list does: a table, or JSON for
 * scripts. */
void print_users(const Library& lib, const std::vector<User>& users, bool json)
{
    const auto view = [&lib](User user) { return UserView::of(lib, user); };
    if (json) {
        print_json_array(users, view);
        return;
    }
    Table({">ID", "NAME", "ADDRESS", "PHONE", ">LOANS"}).print([&](Table& table) {
        for (User record : users) {
            const UserView user = view(record);
            table.add({user.id, user.name, user.address, user.phone, user.open_loans});
        }
    });
}

void run_list(const UserArgs& args, const Desk& desk)
{
    auto lib = open_for_reading(desk);
    print_users(*lib, list_users(*lib, args.search), args.json);
}

/* The loans are read for the count each user holds; the books are not. */
void run_search(const UserArgs& args, const Desk& desk)
{
    const std::string text = search_text(args.words, "user search");
    auto lib = open_for_reading(desk, Kinds::only({fileset::Kind::users, fileset::Kind::loans}));
    const std::vector<User> users = search_users(*lib, text);
    if (users.empty() && !args.json)
        std::printf("no user matches \"%s\"\n", text.c_str());
    else
        print_users(*lib, users, args.json);
}

void run_show(const UserArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    auto lib = open_for_reading(desk);
    UserView user = UserView::of(*lib, find_user(*lib, parse_id(args.id, "user")));
    std::vector<LoanView> loans = loan_views(*lib, lib->open_loans_of_user(user.id), day);
    const std::size_t owed = balance_of(*lib, user.id);
    if (args.json) {
        print_json({{"user", user.to_json()}, {"loans", json_array(loans)}, {"balance", owed}});
        return;
    }
    std::vector<std::pair<std::string, std::string>> fields = {{"user", std::to_string(user.id)},
                                                               {"name", user.name},
                                                               {"address", user.address},
                                                               {"phone", user.phone}};
    if (owed > 0)
        fields.push_back({"owes", format_amount(owed) + " " + lib->policy().fine.currency});
    print_fields(fields);
    if (loans.empty())
        return;
    std::printf("\n");
    Table({">LOAN", ">BOOK", "TITLE", "DATE", "DUE", "LATE"}).print([&loans](Table& table) {
        for (const LoanView& loan : loans) {
            const std::string late =
                loan.days_overdue > 0
                    ? "OVERDUE " +
                          counted(static_cast<std::size_t>(loan.days_overdue), "day", "days")
                    : "";
            table.add({loan.id, loan.book, text_or(loan.title, "(no such book)"), loan.date,
                       loan.due, late});
        }
    });
}

void run_edit(const UserArgs& args, const Desk& desk, const CLI::App& command)
{
    auto given = [&command](const char* option, const std::string& value) {
        return command.count(option) != 0 ? std::optional<std::string>(value) : std::nullopt;
    };
    UserEdit change{given("--name", args.name), given("--address", args.address),
                    given("--phone", args.phone)};
    if (!change.name && !change.address && !change.phone)
        throw Failure(kUsage, "user edit: nothing to change (give --name, --address or --phone)");
    std::size_t id = parse_id(args.id, "user");
    auto lib = open_for_change(desk);
    edit_user(*lib, id, change);
    commit(*lib);
    std::printf("user %zu changed\n", id);
}

void run_remove(const UserArgs& args, const Desk& desk)
{
    std::size_t id = parse_id(args.id, "user");
    auto lib = open_for_change(desk);
    Removed removed = remove_user(*lib, id, args.purge);
    commit(*lib);
    std::printf("user %zu removed: %s", id, removed.label.c_str());
    if (removed.loans != 0)
        std::printf(" (with %s)",
                    counted(removed.loans, "returned loan", "returned loans").c_str());
    std::printf("\n");
}

} // namespace

void add_user_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<UserArgs>();
    auto* group = app.add_subcommand("user", "Users: add, list, search, show, edit, remove");
    group->require_subcommand(1);

    auto* adding = group->add_subcommand("add", "Add a user; prints the new id");
    adding->add_option("NAME", args->name, "The name")->required();
    adding->add_option("ADDRESS", args->address, "The address")->required();
    adding->add_option("PHONE", args->phone, "The phone: " + std::string(rules::phone_rule()))
        ->required();
    bind(adding, desk, args, run_add);

    auto* listing = group->add_subcommand("list", "List users and how many loans each holds");
    listing->add_option("--search", args->search, "Only users with TEXT in name, address or phone")
        ->type_name("TEXT");
    listing->add_flag("--json", args->json, "JSON for scripts");
    bind(listing, desk, args, run_list);

    auto* finding = group->add_subcommand(
        "search", "Find users by words of their name, address or phone, best matches first");
    finding
        ->add_option("TEXT", args->words,
                     "Words in any order, each starting a word of the name, address or phone")
        ->required();
    finding->add_flag("--json", args->json, "JSON for scripts");
    bind(finding, desk, args, run_search);

    auto* showing = group->add_subcommand("show", "Show a user and their open loans");
    showing->add_option("ID", args->id, "The user")->required()->type_name("ID");
    showing->add_option("--date", args->date, "Mark loans overdue as of DD/MM/YYYY (default today)")
        ->type_name("DATE");
    showing->add_flag("--json", args->json, "JSON for scripts");
    bind(showing, desk, args, run_show);

    auto* editing = group->add_subcommand("edit", "Change a user's fields");
    editing->add_option("ID", args->id, "The user")->required()->type_name("ID");
    editing->add_option("--name", args->name, "New name");
    editing->add_option("--address", args->address, "New address");
    editing->add_option("--phone", args->phone, "New phone");
    editing->callback([&desk, args, editing] {
        desk.action = [&desk, args, editing] { run_edit(*args, desk, *editing); };
    });

    auto* removing = group->add_subcommand("remove", "Remove a user (holding no loan)");
    removing->add_option("ID", args->id, "The user")->required()->type_name("ID");
    removing->add_flag("--purge", args->purge, "Remove their returned loans with them");
    bind(removing, desk, args, run_remove);
}

} // namespace desk
