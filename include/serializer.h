/*
 * serializer.h - record files: a whole list of books, users or loans saved
 * to a comma-separated text file, one record per line, closed by a trailer
 * line holding the next identifier to hand out; and loaded back.
 *
 * Fields holding a comma, a double quote, a CR or an LF are written quoted
 * (enclosed in double quotes, inner quotes doubled); other fields are written
 * as they are. Loading accepts LF and CR LF line ends and a leading UTF-8
 * byte order mark, and refuses malformed lines whole.
 */
#ifndef LENDREC_SERIALIZER_H
#define LENDREC_SERIALIZER_H

#include "common.h"
#include "list.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Saves every record of the list, in list order, then `last_id` as the
 * trailer. The previous file is replaced only once the new content is
 * completely written and flushed; on any failure it stays as it was and no
 * temporary file is left. Returns false for a null argument, a target that
 * may not be written, or any write error. The list is only read.
 */
bool serializer_save_books(const char* file, List books, size_t last_id);
bool serializer_save_users(const char* file, List users, size_t last_id);
bool serializer_save_borrows(const char* file, List borrows, size_t last_id);

/*
 * Appends every valid record of the file to the list (the list's owner owns
 * them) and returns the trailer's identifier; lines that do not make a valid
 * record are skipped. Returns 1 when the file has no trailer or cannot be
 * opened (an empty store), 0 for a null argument or when memory runs out;
 * then the list is left exactly as it was.
 *
 * The trailer is a line of digits only, with or without a line end; loading
 * stops there. One too large for size_t reads as SIZE_MAX, never as a
 * smaller identifier. A quote that never closes runs to the end of the
 * file: that last record is dropped, and the trailer with it.
 */
size_t serializer_load_books(const char* file, List books);
size_t serializer_load_users(const char* file, List users);
size_t serializer_load_borrows(const char* file, List borrows);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_SERIALIZER_H */
