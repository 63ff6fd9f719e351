/* Builds, walks, sorts and releases a list of books through the public
 * headers, compiled as C. Exits non-zero on the first wrong answer. */
#include <stdio.h>
#include <string.h>

#include "book.h"
#include "list.h"

static bool by_quantity(void* a, void* b)
{
    return book_get_quantity((Book)a) > book_get_quantity((Book)b);
}

static void total(void* book, void* args)
{
    *(size_t*)args += book_get_quantity((Book)book);
}

int main(void)
{
    static const size_t quantities[] = {13, 32, 2};
    static const char* titles[] = {"Moby Dick", "Le Petit Prince", "How to Draw"};
    List list = list_new();
    size_t sum = 0;
    int failures = 0;

    for (size_t i = 0; i < 3; ++i) {
        Book book = book_new(i + 1, titles[i], "Someone", "Fiction", quantities[i]);
        if (list_push_back(list, book) != book)
            failures++;
    }
    list_foreach(list, total, &sum);
    failures += sum != 47;
    failures += !list_sort(list, by_quantity);
    failures += strcmp(book_get_title((Book)list_front(list)), "How to Draw") != 0;
    failures += strcmp(book_get_title((Book)list_back(list)), "Le Petit Prince") != 0;
    list_delete(list, book_deleter);
    printf("%s\n", failures == 0 ? "ok" : "failed");
    return failures == 0 ? 0 : 1;
}
