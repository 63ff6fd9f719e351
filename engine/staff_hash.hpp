/*
 * staff_hash.hpp - the staff's passwords kept as argon2id hashes: made,
 * checked, and recognised in the staff file. Built on libsodium where the
 * build has it (staff_hash_sodium.cpp); a build without it
 * (staff_hash_none.cpp) refuses every call, so that staff accounts are
 * refused as a whole rather than half kept.
 */
#ifndef LENDREC_ENGINE_STAFF_HASH_HPP
#define LENDREC_ENGINE_STAFF_HASH_HPP

#include <string>
#include <string_view>

namespace desk::staff_hash {

/* Returns when this build can hash passwords, having started the hashing
 * library once. Throws Failure kRefused ("staff accounts need a build with
 * libsodium") when it cannot, kWrite when the library fails to start. */
void require();

/* A new argon2id hash of `password` (salted afresh each time), in the
 * one-line form kept in the staff file. Throws std::bad_alloc when the
 * memory the hash needs cannot be had; what require() throws. */
std::string make(std::string_view password);

/* True when `password` is the one `hash` was made from; false for any
 * other password or a hash that cannot be read. Throws what require()
 * throws. */
bool matches(const std::string& hash, std::string_view password);

/* Checks `password` against a hash no account has, taking the time
 * matches() takes: a login for a name that does not exist costs what one
 * for a real name costs. Throws what make() throws. */
void match_nothing(std::string_view password);

/* Makes the hash match_nothing() checks against, once, so that the first
 * login costs the same whether or not its name exists. Throws what make()
 * throws. */
void prepare_logins();

/* True when `text` has the shape of a hash make() gives (it may still
 * not verify). */
bool looks_like_hash(std::string_view text);

} // namespace desk::staff_hash

#endif
