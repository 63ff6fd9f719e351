/*
 * record_kinds.hpp - the three kinds of record file (books, users, loans)
 * behind one table, shared by the tests, the fuzz targets and the
 * benchmarks: each kind's loaders, saver and deleter, and a record's fields
 * as the texts a record file holds them.
 */
#ifndef LENDREC_SUPPORT_RECORD_KINDS_HPP
#define LENDREC_SUPPORT_RECORD_KINDS_HPP

#include <cstddef>
#include <string>
#include <vector>

#include "book.h"
#include "borrow.h"
#include "common.h"
#include "list.h"
#include "serializer.h"
#include "user.h"

namespace lendrec_support {

/* A record's fields in file order, numbers in decimal, a loan's state as
 * "1" (returned) or "0". */
using Fields = std::vector<std::string>;

/* Where a record keeps its texts: fields [first, first + owned) are heap
 * copies of their own, the `inner` fields after them live inside the
 * record (a phone, dates). */
struct TextLayout {
    size_t first, owned, inner;
};

struct RecordKind {
    const char* name; /* "books", "users" or "loans" */
    size_t (*load)(const char* file, List list);
    size_t (*load_reporting)(const char* file, List list, ProblemFunction problem, void* args);
    bool (*save)(const char* file, List list, size_t last_id);
    ConsumerFunction deleter;
    Fields (*fields)(void* record);
    TextLayout texts;
};

/* A text a record hands out; a null one (never expected) reads as "". */
inline std::string text_of(const char* text)
{
    return text != nullptr ? text : "";
}

inline const RecordKind kBooks{
    "books",
    serializer_load_books,
    serializer_load_books_reporting,
    serializer_save_books,
    book_deleter,
    [](void* record) -> Fields {
        Book b = static_cast<Book>(record);
        return {std::to_string(book_get_id(b)),       text_of(book_get_title(b)),
                text_of(book_get_author(b)),          text_of(book_get_genre(b)),
                std::to_string(book_get_quantity(b)), std::to_string(book_get_available(b))};
    },
    {1, 3, 0}};

inline const RecordKind kUsers{"users",
                               serializer_load_users,
                               serializer_load_users_reporting,
                               serializer_save_users,
                               user_deleter,
                               [](void* record) -> Fields {
                                   User u = static_cast<User>(record);
                                   return {std::to_string(user_get_id(u)),
                                           text_of(user_get_name(u)), text_of(user_get_address(u)),
                                           text_of(user_get_phone(u))};
                               },
                               {1, 2, 1}};

inline const RecordKind kLoans{
    "loans",
    serializer_load_borrows,
    serializer_load_borrows_reporting,
    serializer_save_borrows,
    borrow_deleter,
    [](void* record) -> Fields {
        Borrow l = static_cast<Borrow>(record);
        return {std::to_string(borrow_get_id(l)),      std::to_string(borrow_get_user_id(l)),
                std::to_string(borrow_get_book_id(l)), text_of(borrow_get_date(l)),
                text_of(borrow_get_return_date(l)),    borrow_has_returned(l) ? "1" : "0"};
    },
    {3, 0, 2}};

inline const RecordKind* const kAllKinds[] = {&kBooks, &kUsers, &kLoans};

/* Every record's fields, in list order. */
inline std::vector<Fields> fields_of(const RecordKind& kind, List list)
{
    struct Walk {
        const RecordKind& kind;
        std::vector<Fields> out;
    } walk{kind, {}};
    list_foreach(
        list,
        [](void* record, void* args) {
            auto* w = static_cast<Walk*>(args);
            w->out.push_back(w->kind.fields(record));
        },
        &walk);
    return walk.out;
}

} // namespace lendrec_support

#endif
