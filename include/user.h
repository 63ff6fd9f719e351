/*
 * user.h - the user record: identifier, name, address and a phone number of
 * validated shape.
 *
 * A user owns its name and address and keeps its phone in its own Phone
 * array. Setters return false when refused, and a refused call changes
 * nothing.
 */
#ifndef LENDREC_USER_H
#define LENDREC_USER_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct user_t* User;

/*
 * A new user with copies of the given texts. Returns null when the name or
 * address is null or empty, the phone is refused by user_set_phone, or
 * memory runs out. The caller owns the user: release it with user_delete or
 * hand it to a list.
 */
LENDREC_API User user_new(size_t id, const char* name, const char* address, const char* phone);

/* Releases the user and its texts. A null user is ignored. */
LENDREC_API void user_delete(User user);

/* user_delete in the shape of a list deleter. */
LENDREC_API void user_deleter(void* user);

/* The identifier. The user must not be null. */
LENDREC_API size_t user_get_id(User user);

/* Borrowed texts (valid until that field is set again or the user is
 * deleted; never write or free them), or null for a null user. */
LENDREC_API String user_get_name(User user);
LENDREC_API String user_get_address(User user);
LENDREC_API String user_get_phone(User user);

/* Replace the name or address with an owned copy. Refused for a null user,
 * a null or empty text, or when memory runs out. */
LENDREC_API bool user_set_name(User user, const char* name);
LENDREC_API bool user_set_address(User user, const char* address);

/* Replaces the phone. Refused for a null user, a phone that
 * common_verify_phone refuses, or one longer than a Phone holds (16
 * characters). */
LENDREC_API bool user_set_phone(User user, const char* phone);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_USER_H */
