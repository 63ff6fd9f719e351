/*
 * serializer.h - record files: a whole list of books, users or loans saved
 * to a comma-separated text file, one record per line, closed by a trailer
 * line holding the next identifier to hand out; and loaded back.
 *
 * Fields holding a comma, a double quote, a CR or an LF are written quoted
 * (enclosed in double quotes, inner quotes doubled); other fields are written
 * as they are. Loading accepts LF and CR LF line ends and a leading UTF-8
 * byte order mark, and refuses malformed lines whole. A double quote inside
 * a field that does not start with one is an ordinary character, so files
 * written before quoting existed load their raw texts as they are.
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
LENDREC_API bool serializer_save_books(const char* file, List books, size_t last_id);
LENDREC_API bool serializer_save_users(const char* file, List users, size_t last_id);
LENDREC_API bool serializer_save_borrows(const char* file, List borrows, size_t last_id);

/*
 * Appends every valid record of the file to the list (the list's owner owns
 * them) and returns the trailer's identifier; lines that do not make a valid
 * record are skipped. Returns 1 when the file has no trailer or cannot be
 * opened (an empty store), 0 for a null argument or when memory runs out;
 * then the list is left exactly as it was.
 *
 * The trailer is a line of digits only, with or without a line end; loading
 * stops there. One too large for size_t reads as SIZE_MAX, never as a
 * smaller identifier. When a quote never closes, only the line where its
 * record began is refused: reading resumes at the line after the one that
 * opened the quote, so later records and the trailer still load.
 */
LENDREC_API size_t serializer_load_books(const char* file, List books);
LENDREC_API size_t serializer_load_users(const char* file, List users);
LENDREC_API size_t serializer_load_borrows(const char* file, List borrows);

/*
 * What went wrong with one place of a record file, as told to a
 * ProblemFunction by the reporting loaders below.
 */
typedef enum serializer_problem_t {
    SERIALIZER_REFUSED = 1, /* the line made no record; a save would drop it */
    SERIALIZER_CHANGED = 2, /* the record was made, but not as written */
    SERIALIZER_IGNORED = 3, /* text after the trailer line, not read */
    SERIALIZER_NOT_READ = 4 /* the file (line 0) could not be opened or read */
} serializer_problem_t;

/*
 * Told once per problem, in file order. `line` is 1-based, counting line
 * ends as written (CR LF counts once); a record whose quoted text spans
 * several lines is told at its first line; 0 means the file as a whole.
 * `cause` is a short plain-English phrase (see below), borrowed for the
 * call only. `args` is the caller's pointer, passed through untouched.
 *
 * The causes, where N is a field's number (from 1) and NAME its name (books:
 * id, title, author, genre, quantity, available; users: id, name, address,
 * phone; loans: id, user_id, book_id, date, return_date, returned):
 *   SERIALIZER_REFUSED
 *     "expected 6 fields, found 7"        (the kind's count, the line's)
 *     "field N (NAME) is not a whole number"
 *     "field N (NAME) is too large"        (a number beyond size_t)
 *     "field N (NAME) is empty"
 *     "field N (NAME) is not a valid phone number"
 *     "field N (NAME) is longer than 16 characters"  (a phone)
 *     "field N (NAME) is not a valid date"
 *     "return date is not after the loan date"
 *     "quote never closed"
 *     "text after a closing quote"
 *     "a stray CR outside quotes"
 *     "a NUL byte"
 *     "no trailer line: the next identifier is unknown"  (told at the line
 *       where the trailer should stand: the one after the file's last line)
 *     "the trailer is too large (a number beyond size_t)"  (the plain
 *       loader reads it as SIZE_MAX; a save would write another)
 *   SERIALIZER_CHANGED
 *     "field 6 (available) is above the quantity: lowered to the quantity"
 *   SERIALIZER_IGNORED
 *     "text after the trailer line is ignored"  (once, at the first line
 *       after the trailer holding anything but a line end)
 *   SERIALIZER_NOT_READ
 *     the system's own error text, e.g. "Permission denied", "Is a
 *     directory", "Input/output error"
 * A line is told once, for the first fault found in it. Empty lines are
 * skipped without a word.
 */
typedef void (*ProblemFunction)(size_t line, serializer_problem_t kind, const char* cause,
                                void* args);

/*
 * The loaders above, telling `problem` (which may be null) about every line
 * they could not take as written. Records, result and list are exactly those
 * of the plain loader on the same file. A missing file tells nothing; a file
 * that exists but cannot be opened, or a read error part-way, is told as
 * SERIALIZER_NOT_READ at line 0 with the system's error text.
 */
LENDREC_API size_t serializer_load_books_reporting(const char* file, List books,
                                                   ProblemFunction problem, void* args);
LENDREC_API size_t serializer_load_users_reporting(const char* file, List users,
                                                   ProblemFunction problem, void* args);
LENDREC_API size_t serializer_load_borrows_reporting(const char* file, List borrows,
                                                     ProblemFunction problem, void* args);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_SERIALIZER_H */
