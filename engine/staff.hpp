/*
 * staff.hpp - the library's staff accounts: who may log in to the web desk,
 * and with which role. Kept in `staff.csv` of the library folder, mode 0600
 * (only the library's owner may read it), one line per account:
 *
 *     name,role,hash
 *     ann,admin,$argon2id$v=19$m=65536,t=2,p=1$...
 *
 * A password is kept only as an argon2id hash (libsodium's
 * crypto_pwhash_str), never in clear, and is never logged or echoed.
 *
 * Every call takes the Store of the library (store.hpp): opened for change
 * to add, re-password or remove an account, for reading to list or log in.
 * Each answers in values or throws Failure: kUsage for a name, role or
 * password that cannot be taken (blank, too long, control characters; a
 * password shorter than kMinPasswordChars), kRefused when the rules say no
 * (the name is taken; no such account; the last admin removed), kWrite when
 * the file cannot be written (nothing changed). Throws std::bad_alloc when
 * memory runs out.
 */
#ifndef LENDREC_ENGINE_STAFF_HPP
#define LENDREC_ENGINE_STAFF_HPP

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks.hpp"
#include "store.hpp"

namespace desk {

/* desk: look up, lend, take back, renew, holds, notices, take fines;
 * admin: also the catalogue and the members, import and export, check and
 * repair, the policy and the staff. */
enum class Role { desk, admin };

/* "desk" or "admin". */
std::string_view role_name(Role role);

/* The role a name stands for ("desk", "admin"), or none. */
std::optional<Role> role_named(std::string_view name);

/* The fewest characters a password may have. */
inline constexpr std::size_t kMinPasswordChars = 8;

/* An account as others may see it: never its hash. */
struct StaffAccount {
    std::string name;
    Role role = Role::desk;
};

/* The JSON shape of an account, {"name": ..., "role": "desk"|"admin"}
 * (schemas/staff_account.schema.json); never its hash. */
nlohmann::json to_json(const StaffAccount& account);

/* Every account, in the order of their names. */
std::vector<StaffAccount> list_staff(Store& store);

/* Adds the account `name` with `role` and `password`. */
void add_staff(Store& store, const std::string& name, Role role, const std::string& password);

/* Gives the account `name` a new password. */
void set_staff_password(Store& store, const std::string& name, const std::string& password);

/* Removes the account `name`; refused for the library's last admin. */
void remove_staff(Store& store, const std::string& name);

/* The account `name` when `password` is its password; none otherwise, in
 * about the same time whether or not the name exists. */
std::optional<StaffAccount> check_login(Store& store, std::string_view name,
                                        std::string_view password);

/* The lines of the staff file that could not be read, with their line
 * numbers (line 0: the file as a whole), as the reporting of the record
 * files tells them; empty when it is sound or missing. Throws
 * std::bad_alloc when memory runs out. */
std::vector<Problem> staff_problems(Store& store);

/* Adds to `report` the staff file's problems of the library `lib` (which
 * still holds its store), each a finding with its line; with `mending`, a
 * reason they wait for a person. Throws Failure kWrite once the store is
 * closed. */
void check_staff(const Library& lib, bool mending, CheckReport& report);

} // namespace desk

#endif
