/* A C program using an installed lendrec: puts a book on the shelf, lends a
 * copy, saves the list to a record file, loads it back and checks every
 * field. Checks too that APP_RULE, the validation rule its build system
 * names ("pattern" or "character"), is the one the library applies.
 *
 *   app RECORD-FILE
 *
 * Prints "lendrec VERSION RULE: book saved and loaded" and exits 0, or names
 * the first wrong answer and exits 1. */
#include <stdio.h>
#include <string.h>

#include <lendrec/book.h>
#include <lendrec/list.h>
#include <lendrec/lendrec_version.h>
#include <lendrec/serializer.h>

static int fail(const char* what)
{
    fprintf(stderr, "app (C): %s\n", what);
    return 1;
}

/* The rule the headers were compiled with must match the library's: only
 * the character rule takes eight bare digits for a phone. */
static int check_rule(const char* rule)
{
#ifdef LENDREC_CHARACTER_RULE
    const bool compiled_character = true;
#else
    const bool compiled_character = false;
#endif
    const bool character = strcmp(rule, "character") == 0;
    if (compiled_character != character)
        return fail("LENDREC_CHARACTER_RULE does not match the rule named");
    if (common_verify_phone("12345678") != character)
        return fail("the library applies another rule than the one named");
    return 0;
}

static int check_round_trip(const char* file)
{
    List shelf = list_new();
    Book book = book_new(7, "Dune, Part One", "Frank Herbert", "Science fiction", 3);
    if (!shelf || !book || list_push_back(shelf, book) != book || !book_borrow(book))
        return fail("could not shelve and lend a book");
    const bool saved = serializer_save_books(file, shelf, 8);
    list_delete(shelf, book_deleter);
    if (!saved)
        return fail("could not save the record file");

    List loaded = list_new();
    const size_t next_id = serializer_load_books(file, loaded);
    Book back = list_front(loaded);
    const int wrong = next_id != 8 || list_size(loaded) != 1 || !back || book_get_id(back) != 7 ||
                      strcmp(book_get_title(back), "Dune, Part One") != 0 ||
                      strcmp(book_get_author(back), "Frank Herbert") != 0 ||
                      book_get_quantity(back) != 3 || book_get_available(back) != 2;
    list_delete(loaded, book_deleter);
    return wrong ? fail("the book did not come back as saved") : 0;
}

int main(int argc, char** argv)
{
    if (argc != 2)
        return fail("usage: app RECORD-FILE");
    if (check_rule(APP_RULE) || check_round_trip(argv[1]))
        return 1;
    printf("lendrec %s %s: book saved and loaded\n", LENDREC_VERSION_STRING, APP_RULE);
    return 0;
}
