/*
 * user.cpp - `lendrec user add|list|show|edit|remove`: the library's members.
 */
#include <cstdio>
#include <memory>

#include <fmt/format.h>

#include "commands.hpp"
#include "output.hpp"

namespace desk {

namespace {

#ifdef LENDREC_CHARACTER_RULE
const char* const kPhoneShape = "8 to 16 characters, each a digit, '+' or ' '";
#else
const char* const kPhoneShape = "+DD DD DDD DD DD";
#endif

struct UserArgs {
    std::string id, name, address, phone, search, date;
    bool json = false;
};

void require_phone(const std::string& phone)
{
    if (phone.size() > 16 || !common_verify_phone(phone.c_str()))
        throw Failure(kRefused, fmt::format("'{}' is not a valid phone number (expected {})",
                                            phone, kPhoneShape));
}

nlohmann::json user_json(const Library& lib, User user)
{
    return {{"id", user_get_id(user)},       {"name", user_get_name(user)},
            {"address", user_get_address(user)}, {"phone", user_get_phone(user)},
            {"loans", lib.open_loans_of_user(user_get_id(user)).size()}};
}

void add_user(const UserArgs& args, const Desk& desk)
{
    require_text(args.name, "a name");
    require_text(args.address, "an address");
    require_phone(args.phone);
    auto lib = open_for_change(desk);
    std::size_t id = lib->users().take_id();
    User user = user_new(id, args.name.c_str(), args.address.c_str(), args.phone.c_str());
    if (user == nullptr || !lib->users().add(user))
        throw std::bad_alloc();
    commit(*lib);
    std::printf("%zu\n", id);
}

void list_users(const UserArgs& args, const Desk& desk)
{
    auto lib = open_for_reading(desk);
    std::string needle = ascii_lower(args.search);
    nlohmann::json out = nlohmann::json::array();
    Table table({">ID", "NAME", "ADDRESS", "PHONE", ">LOANS"});
    for (User user : lib->users().all()) {
        if (!needle.empty() && ascii_lower(user_get_name(user)).find(needle) == std::string::npos
            && ascii_lower(user_get_address(user)).find(needle) == std::string::npos
            && std::string(user_get_phone(user)).find(args.search) == std::string::npos)
            continue;
        out.push_back(user_json(*lib, user));
        table.add({std::to_string(user_get_id(user)), user_get_name(user), user_get_address(user),
                   user_get_phone(user),
                   std::to_string(lib->open_loans_of_user(user_get_id(user)).size())});
    }
    if (args.json)
        print_json(out);
    else
        table.print();
}

void show_user(const UserArgs& args, const Desk& desk)
{
    Day day = date_or_today(args.date, "--date");
    auto lib = open_for_reading(desk);
    User user = require_user(*lib, args.id);
    std::span<const Borrow> loans = lib->open_loans_of_user(user_get_id(user));
    nlohmann::json out = user_json(*lib, user);
    out["loans"] = nlohmann::json::array();
    Table table({">LOAN", ">BOOK", "TITLE", "DATE", "DUE", "LATE"});
    for (Borrow loan : loans) {
        Book book = lib->books().find(borrow_get_book_id(loan));
        std::string title = book != nullptr ? book_get_title(book) : "(no such book)";
        long late = days_overdue(loan, day);
        out["loans"].push_back({{"id", borrow_get_id(loan)}, {"book", borrow_get_book_id(loan)},
                                {"title", title}, {"date", borrow_get_date(loan)},
                                {"due", borrow_get_return_date(loan)},
                                {"days_overdue", late > 0 ? late : 0}});
        table.add({std::to_string(borrow_get_id(loan)), std::to_string(borrow_get_book_id(loan)),
                   title, borrow_get_date(loan), borrow_get_return_date(loan),
                   late > 0 ? "OVERDUE " + counted(static_cast<std::size_t>(late), "day", "days") : ""});
    }
    if (args.json) {
        print_json(out);
        return;
    }
    print_fields({{"user", std::to_string(user_get_id(user))},
                  {"name", user_get_name(user)},
                  {"address", user_get_address(user)},
                  {"phone", user_get_phone(user)}});
    if (loans.empty())
        return;
    std::printf("\n");
    table.print();
}

void edit_user(const UserArgs& args, const Desk& desk, const CLI::App& command)
{
    bool name = command.count("--name") != 0, address = command.count("--address") != 0,
         phone = command.count("--phone") != 0;
    if (!name && !address && !phone)
        throw Failure(kUsage, "user edit: nothing to change (give --name, --address or --phone)");
    if (name)
        require_text(args.name, "a name");
    if (address)
        require_text(args.address, "an address");
    if (phone)
        require_phone(args.phone);
    auto lib = open_for_change(desk);
    User user = require_user(*lib, args.id);
    if ((name && !user_set_name(user, args.name.c_str()))
        || (address && !user_set_address(user, args.address.c_str()))
        || (phone && !user_set_phone(user, args.phone.c_str())))
        throw std::bad_alloc();
    lib->users().touch();
    commit(*lib);
    std::printf("user %zu changed\n", user_get_id(user));
}

void remove_user(const UserArgs& args, const Desk& desk)
{
    auto lib = open_for_change(desk);
    User user = require_user(*lib, args.id);
    std::size_t id = user_get_id(user);
    std::size_t held = lib->open_loans_of_user(id).size();
    if (held != 0)
        throw Failure(kRefused, fmt::format("user {} holds {}; take them back before "
                                            "removing the user", id, counted(held, "loan", "loans")));
    std::string name = user_get_name(user);
    lib->users().remove(user);
    commit(*lib);
    std::printf("user %zu removed: %s\n", id, name.c_str());
}

} // namespace

void add_user_commands(CLI::App& app, Desk& desk)
{
    auto args = std::make_shared<UserArgs>();
    auto* group = app.add_subcommand("user", "Users: add, list, show, edit, remove");
    group->require_subcommand(1);

    auto* add = group->add_subcommand("add", "Add a user; prints the new id");
    add->add_option("NAME", args->name, "The name")->required();
    add->add_option("ADDRESS", args->address, "The address")->required();
    add->add_option("PHONE", args->phone, std::string("The phone: ") + kPhoneShape)->required();
    bind(add, desk, args, add_user);

    auto* list = group->add_subcommand("list", "List users and how many loans each holds");
    list->add_option("--search", args->search, "Only users with TEXT in name, address or phone")->type_name("TEXT");
    list->add_flag("--json", args->json, "JSON for scripts");
    bind(list, desk, args, list_users);

    auto* show = group->add_subcommand("show", "Show a user and their open loans");
    show->add_option("ID", args->id, "The user")->required()->type_name("ID");
    show->add_option("--date", args->date, "Mark loans overdue as of DD/MM/YYYY (default today)")->type_name("DATE");
    show->add_flag("--json", args->json, "JSON for scripts");
    bind(show, desk, args, show_user);

    auto* edit = group->add_subcommand("edit", "Change a user's fields");
    edit->add_option("ID", args->id, "The user")->required()->type_name("ID");
    edit->add_option("--name", args->name, "New name");
    edit->add_option("--address", args->address, "New address");
    edit->add_option("--phone", args->phone, "New phone");
    edit->callback([&desk, args, edit] {
        desk.action = [&desk, args, edit] { edit_user(*args, desk, *edit); };
    });

    auto* remove = group->add_subcommand("remove", "Remove a user (holding no loan)");
    remove->add_option("ID", args->id, "The user")->required()->type_name("ID");
    bind(remove, desk, args, remove_user);
}

} // namespace desk
