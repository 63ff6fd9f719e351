/*
 * book.h - the book record: one title of the library's stock, the copies it
 * owns (quantity) and the copies on the shelf (available).
 *
 * A book owns its texts. Every record returned by book_new has a non-empty
 * title, author and genre and 0 <= available <= quantity. Setters and state
 * changes return false when refused, and a refused call changes nothing.
 */
#ifndef LENDREC_BOOK_H
#define LENDREC_BOOK_H

#include "common.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct book_t* Book;

/*
 * A new book with the given texts (each copied) and `quantity` copies, all
 * on the shelf. Any id and any quantity, 0 included, are accepted. Returns
 * null when a text is null or empty or memory runs out. The caller owns the
 * book: release it with book_delete, or hand it to a list.
 */
LENDREC_API Book book_new(size_t id, const char* title, const char* author, const char* genre,
                          size_t quantity);

/* Releases the book and its texts. A null book is ignored. */
LENDREC_API void book_delete(Book book);

/* book_delete in the shape of a list deleter. */
LENDREC_API void book_deleter(void* book);

/* Readers. The book must not be null. Texts are borrowed: valid until that
 * field is set again or the book is deleted; never write or free them. */
LENDREC_API size_t book_get_id(Book book);
LENDREC_API String book_get_title(Book book);
LENDREC_API String book_get_author(Book book);
LENDREC_API String book_get_genre(Book book);
LENDREC_API size_t book_get_quantity(Book book);
LENDREC_API size_t book_get_available(Book book);

/* True when at least one copy is on the shelf. The book must not be null. */
LENDREC_API bool book_has_available(Book book);

/* Replace a text with an owned copy. Refused (false) for a null book, a
 * null or empty text, or when memory runs out. */
LENDREC_API bool book_set_title(Book book, const char* title);
LENDREC_API bool book_set_author(Book book, const char* author);
LENDREC_API bool book_set_genre(Book book, const char* genre);

/* Replaces the number of copies owned; when fewer copies are owned than are
 * on the shelf, the shelf count drops to the new quantity. Refused for a
 * null book. */
LENDREC_API bool book_set_quantity(Book book, size_t quantity);

/* Sets the shelf count. Refused for a null book or available > quantity. */
LENDREC_API bool book_set_available(Book book, size_t available);

/* Takes one copy off the shelf. Refused for a null book or none available. */
LENDREC_API bool book_borrow(Book book);

/* Puts one copy back. Refused for a null book or when every copy owned is
 * already on the shelf. */
LENDREC_API bool book_return(Book book);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_BOOK_H */
