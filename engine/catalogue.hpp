/*
 * catalogue.hpp - the library's stock of books: adding, changing,
 * removing, listing and finding them; and the two rules every kind of
 * record shares: the text entering a record, and finding a record by its
 * identifier.
 *
 * Operations change the library in memory; the caller commits. Refusals
 * are thrown as desk::Failure (failure.hpp); nothing is printed.
 */
#ifndef LENDREC_ENGINE_CATALOGUE_HPP
#define LENDREC_ENGINE_CATALOGUE_HPP

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library.hpp"

namespace desk {

/* `text` cleaned for a record (text::clean with at most `max_chars`
 * characters); Failure kRefused with the fault's sentence about `what`
 * ("a title") when it cannot go in. */
std::string record_text(std::string_view text, const char* what, std::size_t max_chars);

/* The record with identifier `id`; when there is none, Failure kWrite with
 * the file's cause when the file could not be read (an unread file hides
 * records), else Failure kRefused "no book 7". The record belongs to
 * `records`. */
template <typename Handle>
Handle find_or_refuse(const Records<Handle>& records, std::size_t id);

/* The book with identifier `id`, or the refusal of find_or_refuse. */
Book find_book(const Library& lib, std::size_t id);

/* A book as the clerk gives it; texts are cleaned on the way in. */
struct NewBook {
    std::string title, author, genre;
    std::size_t copies = 1;
};

/* Adds a book with every copy on the shelf; its new identifier. Refuses
 * (kRefused) a text that cannot go in or more than rules::kMaxCopies. */
std::size_t add_book(Library& lib, const NewBook& book);

/* The fields to change; those not given stay. */
struct BookEdit {
    std::optional<std::string> title, author, genre;
    std::optional<std::size_t> copies;
};

/* Changes book `id`. Copies may not go below those out on loan; the shelf
 * follows the change. Nothing changes when anything is refused. */
void edit_book(Library& lib, std::size_t id, const BookEdit& edit);

/* What a removal took away: the record's title or name, and the returned
 * loans that went with it. */
struct Removed {
    std::string label;
    std::size_t loans = 0;
};

/* For removing the record `id` names as `what` ("book"): refused
 * (kRefused, with the count) while a hold still queued or waiting is one
 * `names` keeps. */
void refuse_while_held(const Library& lib, const char* what, std::size_t id,
                       const std::function<bool(const Hold&)>& names);

/* For removing the record `id` names as `what` ("book"), whose open
 * loans the caller has refused: refused (kRefused, with the count) when
 * any loan names it through `names` (borrow_get_book_id, say), unless
 * `purge`, which removes those returned loans. Leaves the record itself. */
Removed remove_named(Library& lib, const char* what, std::size_t id, std::size_t (*names)(Borrow),
                     bool purge);

/* Removes book `id`. Refused while a copy is out or a hold waits for it;
 * refused when any loan names it, unless `purge`, which removes its
 * returned loans with it. */
Removed remove_book(Library& lib, std::size_t id, bool purge);

enum class BookOrder { id, title, author };

/* Which books a list holds and in what order. `search` matches title or
 * author, `genre` the whole genre, both without regard to case or
 * accents (text::fold); empty matches all. */
struct BookFilter {
    std::string search, genre;
    bool on_shelf = false;
    BookOrder order = BookOrder::id;
};

/* The books `filter` keeps, sorted stably by its order (texts by their
 * folded key). The books belong to the library. */
std::vector<Book> list_books(const Library& lib, const BookFilter& filter);

} // namespace desk

#endif
