/*
 * catalogue.cpp - the stock of books, the text entering any record, and
 * finding any record by identifier.
 */
#include "catalogue.hpp"

#include <algorithm>
#include <numeric>
#include <new>

#include <fmt/format.h>

#include "failure.hpp"
#include "rules.hpp"
#include "text.hpp"

namespace desk {

std::string record_text(std::string_view text, const char* what, std::size_t max_chars)
{
    text::Clean cleaned = text::clean(text, max_chars);
    if (cleaned.fault != text::Fault::kNone)
        throw Failure(kRefused, text::fault_sentence(cleaned.fault, what, max_chars));
    return cleaned.text;
}

template <typename Handle>
Handle find_or_refuse(const Records<Handle>& records, std::size_t id)
{
    if (Handle record = records.find(id))
        return record;
    for (const Problem& problem : records.problems)
        if (problem.kind == SERIALIZER_NOT_READ && !records.missing)
            throw Failure(kWrite, describe(records.name(), problem));
    throw Failure(kRefused, fmt::format("no {} {}", records.what(), id), Cause::no_such_record);
}

template Book find_or_refuse(const Records<Book>&, std::size_t);
template User find_or_refuse(const Records<User>&, std::size_t);
template Borrow find_or_refuse(const Records<Borrow>&, std::size_t);

Book find_book(const Library& lib, std::size_t id)
{
    return find_or_refuse(lib.books(), id);
}

void refuse_while_held(const Library& lib, const char* what, std::size_t id,
                       const std::function<bool(const Hold&)>& names)
{
    std::size_t held = 0;
    for (const Hold& hold : lib.holds().rows)
        held += hold.active() && names(hold) ? 1u : 0u;
    if (held != 0)
        throw Failure(kRefused, fmt::format("{} {} has {} queued or waiting; cancel them first "
                                            "(`lendrec hold list`)",
                                            what, id, text::counted(held, "hold", "holds")));
}

Removed remove_named(Library& lib, const char* what, std::size_t id, std::size_t (*names)(Borrow),
                     bool purge)
{
    std::size_t named = 0;
    for (Borrow loan : lib.loans().all())
        named += names(loan) == id ? 1u : 0u;
    if (named != 0 && !purge)
        throw Failure(kRefused,
                      fmt::format("{} {} is named by {}; --purge removes it with them", what, id,
                                  text::counted(named, "returned loan", "returned loans")));
    Removed removed;
    if (named == 0)
        return removed;
    std::vector<Entry> gone;
    removed.loans = lib.loans().remove_if([&](Borrow loan) {
        if (names(loan) != id || !borrow_has_returned(loan))
            return false;
        gone.push_back({.action = Action::loan_removed,
                        .date = today(),
                        .book = borrow_get_book_id(loan),
                        .user = borrow_get_user_id(loan),
                        .loan = borrow_get_id(loan),
                        .note = fmt::format("with its {}", what)});
        return true;
    });
    for (Entry& entry : gone)
        lib.record(std::move(entry));
    return removed;
}

namespace {

std::size_t checked_copies(std::size_t copies)
{
    if (copies > rules::kMaxCopies)
        throw Failure(kRefused, fmt::format("a book may own at most {} copies, not {}",
                                            rules::kMaxCopies, copies));
    return copies;
}

std::size_t copies_out(Book book)
{
    return book_get_quantity(book) - book_get_available(book);
}

void set_text(Book book, const std::optional<std::string>& text, bool (*set)(Book, const char*))
{
    if (text && !set(book, text->c_str()))
        throw std::bad_alloc();
}

} // namespace

std::size_t add_book(Library& lib, const NewBook& book)
{
    std::string title = record_text(book.title, "a title", rules::kMaxText);
    std::string author = record_text(book.author, "an author", rules::kMaxText);
    std::string genre = record_text(book.genre, "a genre", rules::kMaxGenre);
    std::size_t copies = checked_copies(book.copies);
    std::size_t id = lib.books().take_id();
    Book made = book_new(id, title.c_str(), author.c_str(), genre.c_str(), copies);
    if (made == nullptr || !lib.books().add(made))
        throw std::bad_alloc();
    lib.record({.action = Action::book_added, .date = today(), .book = id, .note = title});
    return id;
}

void edit_book(Library& lib, std::size_t id, const BookEdit& edit)
{
    BookEdit clean;
    if (edit.title)
        clean.title = record_text(*edit.title, "a title", rules::kMaxText);
    if (edit.author)
        clean.author = record_text(*edit.author, "an author", rules::kMaxText);
    if (edit.genre)
        clean.genre = record_text(*edit.genre, "a genre", rules::kMaxGenre);
    Book book = find_book(lib, id);
    std::size_t out = copies_out(book);
    if (edit.copies && checked_copies(*edit.copies) < out)
        throw Failure(kRefused, fmt::format("book {} has {} out on loan; it cannot own fewer", id,
                                            text::counted(out, "copy", "copies")));
    set_text(book, clean.title, book_set_title);
    set_text(book, clean.author, book_set_author);
    set_text(book, clean.genre, book_set_genre);
    if (edit.copies) {
        book_set_quantity(book, *edit.copies);
        book_set_available(book, *edit.copies - out);
    }
    lib.books().changed(book);
    lib.record({.action = Action::book_edited,
                .date = today(),
                .book = id,
                .note = changed_fields({{"title", edit.title.has_value()},
                                        {"author", edit.author.has_value()},
                                        {"genre", edit.genre.has_value()},
                                        {"copies", edit.copies.has_value()}})});
}

Removed remove_book(Library& lib, std::size_t id, bool purge)
{
    Book book = find_book(lib, id);
    std::size_t out = std::max(lib.open_loans_of_book(id).size(), copies_out(book));
    if (out != 0)
        throw Failure(kRefused, fmt::format("book {} has {} out on loan; take them back "
                                            "before removing it",
                                            id, text::counted(out, "copy", "copies")));
    refuse_while_held(lib, "book", id, [id](const Hold& hold) { return hold.book == id; });
    Removed removed = remove_named(lib, "book", id, borrow_get_book_id, purge);
    removed.label = book_get_title(book);
    lib.record(
        {.action = Action::book_removed, .date = today(), .book = id, .note = removed.label});
    lib.books().remove(book);
    return removed;
}

namespace {

/* The book's text that `order` sorts by, folded; empty for the id order. */
std::string sort_key(Book book, BookOrder order)
{
    switch (order) {
    case BookOrder::title:
        return text::fold(book_get_title(book));
    case BookOrder::author:
        return text::fold(book_get_author(book));
    case BookOrder::id:
        break;
    }
    return {};
}

/* Sorts `books`, taken in the order of `records`, stably by `order`;
 * books of a file in identifier order (the usual case) stay as they are. */
void sort_books(std::vector<Book>& books, const Records<Book>& records, BookOrder order)
{
    if (order == BookOrder::id) {
        if (!records.in_id_order())
            std::stable_sort(books.begin(), books.end(),
                             [](Book a, Book b) { return book_get_id(a) < book_get_id(b); });
        return;
    }
    std::vector<std::string> keys;
    keys.reserve(books.size());
    for (Book book : books)
        keys.push_back(sort_key(book, order));
    std::vector<std::size_t> places(books.size());
    std::iota(places.begin(), places.end(), std::size_t{0});
    std::stable_sort(places.begin(), places.end(),
                     [&keys](std::size_t a, std::size_t b) { return keys[a] < keys[b]; });
    std::vector<Book> sorted;
    sorted.reserve(books.size());
    for (std::size_t place : places)
        sorted.push_back(books[place]);
    books = std::move(sorted);
}

} // namespace

std::vector<Book> list_books(const Library& lib, const BookFilter& filter)
{
    std::string needle = text::fold(filter.search), genre = text::fold(filter.genre);
    std::vector<Book> books;
    for (Book book : lib.books().all()) {
        if (!needle.empty() && !text::folded_contains(book_get_title(book), needle) &&
            !text::folded_contains(book_get_author(book), needle))
            continue;
        if (!genre.empty() && text::fold(book_get_genre(book)) != genre)
            continue;
        if (filter.on_shelf && !book_has_available(book))
            continue;
        books.push_back(book);
    }
    sort_books(books, lib.books(), filter.order);
    return books;
}

} // namespace desk
