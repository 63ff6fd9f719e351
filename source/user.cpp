/*
 * user.cpp - the user record: identifier, owned name and address, and a
 * validated phone kept in the record's own Phone array.
 */
#include "user.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "strman.h"

struct user_t {
    size_t id;
    String name;
    String address;
    Phone phone;
};

namespace {

/* Frees the texts of a record being built unless it is handed on. */
class PendingUser {
public:
    explicit PendingUser(size_t id)
    {
        user_.id = id;
    }
    ~PendingUser()
    {
        std::free(user_.name);
        std::free(user_.address);
    }
    PendingUser(const PendingUser&) = delete;
    PendingUser& operator=(const PendingUser&) = delete;

    User get()
    {
        return &user_;
    }

    /* Moves the record to the heap; null, with nothing moved, on failure. */
    User release()
    {
        User user = new (std::nothrow) user_t(user_);
        if (user != nullptr) {
            user_.name = nullptr;
            user_.address = nullptr;
        }
        return user;
    }

private:
    user_t user_{};
};

/* Sets one owned text; the old text stays when refused. */
bool set_text(String* field, const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return false;
    return strman_copy(field, text) != nullptr;
}

} // namespace

extern "C" {

User user_new(size_t id, const char* name, const char* address,
              const char* phone)
{
    PendingUser pending(id);
    if (!user_set_name(pending.get(), name) ||
        !user_set_address(pending.get(), address) ||
        !user_set_phone(pending.get(), phone))
        return nullptr;
    return pending.release();
}

void user_delete(User user)
{
    if (user == nullptr)
        return;
    std::free(user->name);
    std::free(user->address);
    delete user;
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
    return user != nullptr && set_text(&user->name, name);
}

bool user_set_address(User user, const char* address)
{
    return user != nullptr && set_text(&user->address, address);
}

bool user_set_phone(User user, const char* phone)
{
    if (user == nullptr || !common_verify_phone(phone))
        return false;
    /* A phone must fit the record's array with its terminator. */
    size_t length = 0;
    while (length < sizeof user->phone && phone[length] != '\0')
        length++;
    if (length == sizeof user->phone)
        return false;
    std::memmove(user->phone, phone, length + 1); /* phone may be the record's own */
    return true;
}

} // extern "C"
