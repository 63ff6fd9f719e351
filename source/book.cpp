/*
 * book.cpp - the book record.
 */
#include "book.h"

#include <cstdlib>

#include "record_rules.hpp"

namespace rules = lendrec::rules;

struct book_t {
    size_t id;
    String title;
    String author;
    String genre;
    size_t quantity;
    size_t available;
};

static void book_release_texts(book_t* book)
{
    std::free(book->title);
    std::free(book->author);
    std::free(book->genre);
}

Book book_new(size_t id, const char* title, const char* author, const char* genre, size_t quantity)
{
    return rules::build_record<book_t>(
        [&](Book draft) {
            *draft = {id, nullptr, nullptr, nullptr, quantity, quantity};
            return book_set_title(draft, title) && book_set_author(draft, author) &&
                   book_set_genre(draft, genre);
        },
        book_release_texts);
}

void book_delete(Book book)
{
    if (book == nullptr)
        return;
    book_release_texts(book);
    std::free(book);
}

void book_deleter(void* book)
{
    book_delete(static_cast<Book>(book));
}

size_t book_get_id(Book book)
{
    return book->id;
}
String book_get_title(Book book)
{
    return book->title;
}
String book_get_author(Book book)
{
    return book->author;
}
String book_get_genre(Book book)
{
    return book->genre;
}
size_t book_get_quantity(Book book)
{
    return book->quantity;
}
size_t book_get_available(Book book)
{
    return book->available;
}

bool book_has_available(Book book)
{
    return book->available != 0;
}

bool book_set_title(Book book, const char* title)
{
    return book != nullptr && rules::set_owned_text(&book->title, title);
}

bool book_set_author(Book book, const char* author)
{
    return book != nullptr && rules::set_owned_text(&book->author, author);
}

bool book_set_genre(Book book, const char* genre)
{
    return book != nullptr && rules::set_owned_text(&book->genre, genre);
}

bool book_set_quantity(Book book, size_t quantity)
{
    if (book == nullptr)
        return false;
    book->quantity = quantity;
    if (!rules::available_fits(book->available, quantity))
        book->available = quantity;
    return true;
}

bool book_set_available(Book book, size_t available)
{
    if (book == nullptr || !rules::available_fits(available, book->quantity))
        return false;
    book->available = available;
    return true;
}

bool book_borrow(Book book)
{
    if (book == nullptr || book->available == 0)
        return false;
    book->available--;
    return true;
}

bool book_return(Book book)
{
    if (book == nullptr || book->available >= book->quantity)
        return false;
    book->available++;
    return true;
}
