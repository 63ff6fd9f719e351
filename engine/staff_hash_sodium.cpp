/*
 * staff_hash_sodium.cpp - the staff's password hashes through libsodium:
 * argon2id at its interactive limits, fit for a login at the desk.
 */
#include "staff_hash.hpp"

#include <new>

#include <sodium.h>

#include "failure.hpp"

namespace desk::staff_hash {

namespace {

constexpr std::string_view kArgon2id = "$argon2id$";

} // namespace

void require()
{
    static const int started = sodium_init();
    if (started < 0)
        throw Failure(kWrite, "the password hashing library (libsodium) could not start");
}

std::string make(std::string_view password)
{
    require();
    char hash[crypto_pwhash_STRBYTES] = {};
    if (crypto_pwhash_str(hash, password.data(), password.size(),
                          crypto_pwhash_OPSLIMIT_INTERACTIVE,
                          crypto_pwhash_MEMLIMIT_INTERACTIVE) != 0)
        throw std::bad_alloc(); /* it fails only when its memory cannot be had */
    return hash;
}

bool matches(const std::string& hash, std::string_view password)
{
    require();
    return looks_like_hash(hash) &&
           crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

namespace {

/* A hash no account has. */
const std::string& nobody()
{
    static const std::string hash = make("the hash of no staff account");
    return hash;
}

} // namespace

void prepare_logins()
{
    (void)nobody();
}

void match_nothing(std::string_view password)
{
    (void)matches(nobody(), password);
}

bool looks_like_hash(std::string_view text)
{
    return text.starts_with(kArgon2id) && text.size() < crypto_pwhash_STRBYTES;
}

} // namespace desk::staff_hash
