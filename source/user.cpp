/*
 * user.cpp - the user record: identifier, owned name and address, and a
 * validated phone kept in the record's own Phone array.
 */
#include "user.h"

#include <cstdlib>

#include "record_rules.hpp"

namespace rules = lendrec::rules;

struct user_t {
    size_t id;
    String name;
    String address;
    Phone phone;
};

static void user_release_texts(user_t* user)
{
    std::free(user->name);
    std::free(user->address);
}

extern "C" {

User user_new(size_t id, const char* name, const char* address, const char* phone)
{
    return rules::build_record<user_t>(
        [&](User draft) {
            draft->id = id;
            return user_set_name(draft, name) && user_set_address(draft, address) &&
                   user_set_phone(draft, phone);
        },
        user_release_texts);
}

void user_delete(User user)
{
    if (user == nullptr)
        return;
    user_release_texts(user);
    std::free(user);
}

void user_deleter(void* user)
{
    user_delete(static_cast<User>(user));
}

size_t user_get_id(User user)
{
    return user->id;
}

String user_get_name(User user)
{
    return user != nullptr ? user->name : nullptr;
}

String user_get_address(User user)
{
    return user != nullptr ? user->address : nullptr;
}

String user_get_phone(User user)
{
    return user != nullptr ? user->phone : nullptr;
}

bool user_set_name(User user, const char* name)
{
    return user != nullptr && rules::set_owned_text(&user->name, name);
}

bool user_set_address(User user, const char* address)
{
    return user != nullptr && rules::set_owned_text(&user->address, address);
}

bool user_set_phone(User user, const char* phone)
{
    return user != nullptr && rules::phone_fault(phone) == rules::PhoneFault::none &&
           rules::copy_bounded(user->phone, sizeof user->phone, phone);
}

} // extern "C"
