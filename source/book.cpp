/*
 * book.cpp - the book record.
 */
#include "book.h"

#include <cstdlib>
#include <cstring>

#include "strman.h"

struct book_t {
    size_t id;
    String title;
    String author;
    String genre;
    size_t quantity;
    size_t available;
};

/* Sets one owned text of a book: refuses null or empty text, and keeps the
 * old text when memory runs out. */
static bool book_set_text(String* field, const char* text)
{
    if (text == nullptr || text[0] == '\0')
        return false;
    return strman_copy(field, text) != nullptr;
}

static void book_release_texts(book_t* book)
{
    std::free(book->title);
    std::free(book->author);
    std::free(book->genre);
}

Book book_new(size_t id, const char* title, const char* author,
              const char* genre, size_t quantity)
{
    /* The record is built on the stack first; its texts are released on
     * every way out that does not hand them to the heap record. */
    book_t draft = {id, nullptr, nullptr, nullptr, quantity, quantity};
    struct TextGuard {
        book_t* book;
        ~TextGuard() { if (book != nullptr) book_release_texts(book); }
    } guard{&draft};

    if (!book_set_title(&draft, title) || !book_set_author(&draft, author) ||
        !book_set_genre(&draft, genre))
        return nullptr;

    auto* book = static_cast<book_t*>(std::malloc(sizeof(book_t)));
    if (book == nullptr)
        return nullptr;
    *book = draft;
    guard.book = nullptr;
    return book;
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

size_t book_get_id(Book book) { return book->id; }
String book_get_title(Book book) { return book->title; }
String book_get_author(Book book) { return book->author; }
String book_get_genre(Book book) { return book->genre; }
size_t book_get_quantity(Book book) { return book->quantity; }
size_t book_get_available(Book book) { return book->available; }

bool book_has_available(Book book)
{
    return book->available != 0;
}

bool book_set_title(Book book, const char* title)
{
    return book != nullptr && book_set_text(&book->title, title);
}

bool book_set_author(Book book, const char* author)
{
    return book != nullptr && book_set_text(&book->author, author);
}

bool book_set_genre(Book book, const char* genre)
{
    return book != nullptr && book_set_text(&book->genre, genre);
}

bool book_set_quantity(Book book, size_t quantity)
{
    if (book == nullptr)
        return false;
    book->quantity = quantity;
    /* Never more copies on the shelf than the library owns. */
    if (book->available > quantity)
        book->available = quantity;
    return true;
}

bool book_set_available(Book book, size_t available)
{
    if (book == nullptr || available > book->quantity)
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
