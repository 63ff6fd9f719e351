/*
 * members.cpp - the library's users.
 */
#include "members.hpp"

#include <new>

#include <fmt/format.h>

#include "failure.hpp"
#include "rules.hpp"
#include "text.hpp"

namespace desk {

namespace {

std::string checked_phone(const std::string& phone)
{
    if (!rules::phone_fits(phone))
        throw Failure(kRefused, fmt::format("'{}' is not a valid phone number (expected {})", phone,
                                            rules::phone_rule()));
    return phone;
}

/* The digits of `text`, in order. */
std::string digits(std::string_view text)
{
    std::string out;
    for (char c : text)
        if (c >= '0' && c <= '9')
            out += c;
    return out;
}

/* True when `search` reads as (part of) a phone number: digits, '+',
 * spaces and dashes, at least one digit. */
bool phone_like(std::string_view search)
{
    return !digits(search).empty() &&
           search.find_first_not_of("0123456789+- ") == std::string_view::npos;
}

} // namespace

User find_user(const Library& lib, std::size_t id)
{
    return find_or_refuse(lib.users(), id);
}

std::size_t add_user(Library& lib, const NewUser& user)
{
    std::string name = record_text(user.name, "a name", rules::kMaxText);
    std::string address = record_text(user.address, "an address", rules::kMaxText);
    std::string phone = checked_phone(user.phone);
    std::size_t id = lib.users().take_id();
    User made = user_new(id, name.c_str(), address.c_str(), phone.c_str());
    if (made == nullptr || !lib.users().add(made))
        throw std::bad_alloc();
    lib.record({.action = Action::user_added, .date = today(), .user = id});
    return id;
}

void edit_user(Library& lib, std::size_t id, const UserEdit& edit)
{
    UserEdit clean;
    if (edit.name)
        clean.name = record_text(*edit.name, "a name", rules::kMaxText);
    if (edit.address)
        clean.address = record_text(*edit.address, "an address", rules::kMaxText);
    if (edit.phone)
        clean.phone = checked_phone(*edit.phone);
    User user = find_user(lib, id);
    if ((clean.name && !user_set_name(user, clean.name->c_str())) ||
        (clean.address && !user_set_address(user, clean.address->c_str())) ||
        (clean.phone && !user_set_phone(user, clean.phone->c_str())))
        throw std::bad_alloc();
    lib.users().changed(user);
    /* The history names the fields changed, never what they hold. */
    lib.record({.action = Action::user_edited,
                .date = today(),
                .user = id,
                .note = changed_fields({{"name", edit.name.has_value()},
                                        {"address", edit.address.has_value()},
                                        {"phone", edit.phone.has_value()}})});
}

Removed remove_user(Library& lib, std::size_t id, bool purge)
{
    User user = find_user(lib, id);
    std::size_t held = lib.open_loans_of_user(id).size();
    if (held != 0)
        throw Failure(kRefused, fmt::format("user {} holds {}; take them back before "
                                            "removing the user",
                                            id, text::counted(held, "loan", "loans")));
    refuse_while_held(lib, "user", id, [id](const Hold& hold) { return hold.user == id; });
    if (const std::size_t owed = balance_of(lib, id); owed != 0)
        throw Failure(kRefused, fmt::format("user {} owes {} in fines; take the payment or waive "
                                            "them first",
                                            id, format_amount(owed)));
    Removed removed = remove_named(lib, "user", id, borrow_get_user_id, purge);
    removed.label = user_get_name(user);
    lib.record({.action = Action::user_removed, .date = today(), .user = id});
    lib.users().remove(user);
    return removed;
}

std::vector<User> list_users(const Library& lib, const std::string& search)
{
    std::string needle = text::fold(search);
    std::string phone = phone_like(search) ? digits(search) : std::string();
    std::vector<User> users;
    for (User user : lib.users().all())
        if (needle.empty() || text::folded_contains(user_get_name(user), needle) ||
            text::folded_contains(user_get_address(user), needle) ||
            (!phone.empty() && digits(user_get_phone(user)).find(phone) != std::string::npos))
            users.push_back(user);
    return users;
}

} // namespace desk
