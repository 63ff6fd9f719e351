/*
 * members.hpp - the library's users: adding, changing, removing, listing
 * and finding them. Operations change the library in memory; the caller
 * commits. Refusals are thrown as desk::Failure; nothing is printed.
 */
#ifndef LENDREC_ENGINE_MEMBERS_HPP
#define LENDREC_ENGINE_MEMBERS_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "catalogue.hpp"

namespace desk {

/* The user with identifier `id`, or the refusal of find_or_refuse. */
User find_user(const Library& lib, std::size_t id);

/* A user as the clerk gives them; texts are cleaned on the way in. */
struct NewUser {
    std::string name, address, phone;
};

/* Adds a user; the new identifier. Refuses (kRefused) a text that cannot
 * go in or a phone this build's rule does not take. */
std::size_t add_user(Library& lib, const NewUser& user);

/* The fields to change; those not given stay. */
struct UserEdit {
    std::optional<std::string> name, address, phone;
};

/* Changes user `id`; nothing changes when anything is refused. */
void edit_user(Library& lib, std::size_t id, const UserEdit& edit);

/* Removes user `id`. Refused while they hold a loan or a hold, or owe
 * fines; refused when any loan names them, unless `purge`, which removes
 * their returned loans too. */
Removed remove_user(Library& lib, std::size_t id, bool purge);

/* The users whose name or address holds `search` (folded), or whose phone
 * holds its digits; all when it is empty. In file order; they belong to
 * the library. */
std::vector<User> list_users(const Library& lib, const std::string& search);

} // namespace desk

#endif
