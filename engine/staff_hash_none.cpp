/*
 * staff_hash_none.cpp - a build without libsodium keeps no staff accounts:
 * every call that would hash or check a password refuses.
 */
#include "staff_hash.hpp"

#include "failure.hpp"

namespace desk::staff_hash {

void require()
{
    throw Failure(kRefused, "staff accounts need a build with libsodium");
}

std::string make(std::string_view)
{
    require();
    return {};
}

bool matches(const std::string&, std::string_view)
{
    require();
    return false;
}

void prepare_logins()
{
    require();
}

void match_nothing(std::string_view)
{
    require();
}

bool looks_like_hash(std::string_view text)
{
    return text.starts_with("$argon2id$");
}

} // namespace desk::staff_hash
