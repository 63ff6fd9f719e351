/*
 * book_list_itest - runs one fixed scenario through the list, the book
 * record and the book record file: fill, walk, remove, save, reload, sort.
 * Every check is an assertion that stays in force in every build type.
 */
#undef NDEBUG
#include <cassert>
#include <cstdio>

#include "book.h"
#include "list.h"
#include "serializer.h"

static void printer(void* content, void* args)
{
    (void)args;
    std::printf("Title: %s\n", book_get_title(static_cast<Book>(content)));
}

/* Out of order when the earlier book owns more copies: ascending quantity. */
static bool comparer_by_quantity(void* book01, void* book02)
{
    return book_get_quantity(static_cast<Book>(book01)) >
           book_get_quantity(static_cast<Book>(book02));
}

int main(void)
{
    List book_list = list_new();
    Book book01 = book_new(1, "Moby Dick", "Corvin Halstrom", "Adventure", 13);
    Book book02 = book_new(2, "Le Petit Prince", "Someone", "Romance", 32);
    Book book03 = book_new(3, "The Bible", "Everyone", "Biblical", 50);
    Book book04 = book_new(4, "World History", "Whoever", "History", 7);
    Book book05 = book_new(5, "How to Draw", "Me", "Educational", 2);
    Book book = NULL;

    assert(list_push_back(book_list, book01) == book01);
    assert(list_push_back(book_list, book02) == book02);
    assert(list_push_back(book_list, book03) == book03);
    assert(list_push_back(book_list, book04) == book04);

    std::printf("\nFOREACH #1\n");
    list_foreach(book_list, printer, NULL);

    book = static_cast<Book>(list_get(book_list, 2));
    assert(book == (Book)book03);

    book = static_cast<Book>(list_remove(book_list, 2));
    assert(book == (Book)book03);
    book_delete(book);

    book = static_cast<Book>(list_pop_back(book_list));
    assert(book == (Book)book04);
    book_delete(book);

    assert(list_push_back(book_list, book05) == book05);

    std::printf("\nFOREACH #2\n");
    list_foreach(book_list, printer, NULL);

    book = static_cast<Book>(list_get(book_list, 0));
    assert(book == (Book)book01);
    assert(list_get(book_list, 0) == list_front(book_list));

    book = static_cast<Book>(list_get(book_list, list_size(book_list) - 1));
    assert(book == (Book)book05);
    assert(list_get(book_list, list_size(book_list) - 1) == list_back(book_list));

    assert(list_size(book_list) == 3);

    assert(serializer_save_books("test_books.csv", book_list, 6) == true);
    list_delete(book_list, book_deleter);

    book_list = list_new();
    assert(serializer_load_books("test_books.csv", book_list) == 6);

    assert(list_sort(book_list, &comparer_by_quantity) == true);

    std::printf("\nFOREACH #3\n");
    list_foreach(book_list, printer, NULL);

    list_delete(book_list, book_deleter);
    return 0;
}
