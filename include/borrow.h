/*
 * borrow.h - the loan record: which user took which book (by identifier),
 * on which date, by which date it is due back, and whether it came back.
 *
 * In a loan returned by borrow_new the return date is strictly later than
 * the loan date, and the setters keep it so. Setters return false when
 * refused, and a refused call changes nothing.
 */
#ifndef LENDREC_BORROW_H
#define LENDREC_BORROW_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct borrow_t* Borrow;

/*
 * A new open loan. Returns null when either date is refused by
 * common_verify_date, the return date is not strictly later than the loan
 * date, or memory runs out. The caller owns the loan: release it with
 * borrow_delete or hand it to a list.
 */
LENDREC_API Borrow borrow_new(size_t id, size_t user_id, size_t book_id, const char* date,
                              const char* return_date);

/* Releases the loan. A null loan is ignored. */
LENDREC_API void borrow_delete(Borrow borrow);

/* borrow_delete in the shape of a list deleter. */
LENDREC_API void borrow_deleter(void* borrow);

/* Readers; a null loan gives 0, null or false. Dates are borrowed views of
 * the record's own arrays, valid until set again or the loan is deleted. */
LENDREC_API size_t borrow_get_id(Borrow borrow);
LENDREC_API size_t borrow_get_user_id(Borrow borrow);
LENDREC_API size_t borrow_get_book_id(Borrow borrow);
LENDREC_API String borrow_get_date(Borrow borrow);
LENDREC_API String borrow_get_return_date(Borrow borrow);
LENDREC_API bool borrow_has_returned(Borrow borrow);

/* Sets the loan date. Refused for a null loan, a date common_verify_date
 * refuses, or, once a return date is set, a date not strictly earlier than
 * it. */
LENDREC_API bool borrow_set_date(Borrow borrow, const char* date);

/* Sets the return date. Refused for a null loan, a date common_verify_date
 * refuses, or one not strictly later than the loan date. */
LENDREC_API bool borrow_set_return_date(Borrow borrow, const char* return_date);

/* Marks the loan returned. Refused for a null loan or one already returned. */
LENDREC_API bool borrow_return(Borrow borrow);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_BORROW_H */
