/*
 * serializer.cpp - record files of books, users and loans: one line per
 * record and the fields of each kind. The framework (the save target and
 * its atomic replace, the line writer, the incremental parser) lives in
 * target_file*, record_writer.* and record_parser.*; the rules the fields
 * obey are the records' own, from record_rules.hpp.
 */
#include "serializer.h"

#include <new>

#include "book.h"
#include "borrow.h"
#include "record_fields.hpp"
#include "record_parser.hpp"
#include "record_writer.hpp"
#include "user.h"

namespace {

using lendrec::Fault;
using lendrec::Fields;
using lendrec::first_fault;
using lendrec::read_numbers;
using lendrec::RecordKind;
using lendrec::Verdict;
using lendrec::Writer;

/* Appends a record a loader built; when the list cannot take it, memory
 * ran out and the whole load is undone. */
template <typename Record>
void append(List list, Record record, void (*release)(Record))
{
    if (list_push_back(list, record) == nullptr) {
        release(record);
        throw std::bad_alloc();
    }
}

/* id,title,author,genre,quantity,available */
constexpr std::string_view kBookLayout = "ntttnn";
constexpr const char* kBookNames[] = {"id", "title", "author", "genre", "quantity", "available"};

void book_saver(void* record, void* args)
{
    Book book = static_cast<Book>(record);
    static_cast<Writer*>(args)->line(book_get_id(book), book_get_title(book), book_get_author(book),
                                     book_get_genre(book), book_get_quantity(book),
                                     book_get_available(book));
}

/* An available count above the quantity is refused by book_set_available,
 * leaving every copy on the shelf: the book is loaded, changed. */
Verdict book_loader(Fields f, List list)
{
    size_t n[3]; /* id, quantity, available */
    if (!read_numbers(f, kBookLayout, n))
        return first_fault(f, kBookLayout);
    Book book = book_new(n[0], f[1].data(), f[2].data(), f[3].data(), n[1]);
    if (book == nullptr)
        return first_fault(f, kBookLayout);
    Verdict verdict;
    if (!book_set_available(book, n[2]))
        verdict = {Fault::available_above, 5};
    append(list, book, book_delete);
    return verdict;
}

/* id,name,address,phone */
constexpr std::string_view kUserLayout = "nttp";
constexpr const char* kUserNames[] = {"id", "name", "address", "phone"};

void user_saver(void* record, void* args)
{
    User user = static_cast<User>(record);
    static_cast<Writer*>(args)->line(user_get_id(user), user_get_name(user), user_get_address(user),
                                     user_get_phone(user));
}

Verdict user_loader(Fields f, List list)
{
    size_t id;
    if (!read_numbers(f, kUserLayout, &id))
        return first_fault(f, kUserLayout);
    User user = user_new(id, f[1].data(), f[2].data(), f[3].data());
    if (user == nullptr)
        return first_fault(f, kUserLayout);
    append(list, user, user_delete);
    return {};
}

/* id,user_id,book_id,date,return_date,returned; `returned` is digits: all
 * zeros for an open loan, anything else for a returned one. */
constexpr std::string_view kLoanLayout = "nnndrf";
constexpr const char* kLoanNames[] = {"id",   "user_id",     "book_id",
                                      "date", "return_date", "returned"};

void borrow_saver(void* record, void* args)
{
    Borrow borrow = static_cast<Borrow>(record);
    size_t returned = borrow_has_returned(borrow) ? 1 : 0;
    static_cast<Writer*>(args)->line(borrow_get_id(borrow), borrow_get_user_id(borrow),
                                     borrow_get_book_id(borrow), borrow_get_date(borrow),
                                     borrow_get_return_date(borrow), returned);
}

Verdict borrow_loader(Fields f, List list)
{
    size_t n[4]; /* id, user_id, book_id, returned */
    if (!read_numbers(f, kLoanLayout, n))
        return first_fault(f, kLoanLayout);
    Borrow borrow = borrow_new(n[0], n[1], n[2], f[3].data(), f[4].data());
    if (borrow == nullptr)
        return first_fault(f, kLoanLayout);
    if (n[3] != 0)
        (void)borrow_return(borrow);
    append(list, borrow, borrow_delete);
    return {};
}

constexpr RecordKind kBooks{kBookLayout, kBookNames, book_loader, book_deleter};
constexpr RecordKind kUsers{kUserLayout, kUserNames, user_loader, user_deleter};
constexpr RecordKind kLoans{kLoanLayout, kLoanNames, borrow_loader, borrow_deleter};

} // namespace

bool serializer_save_books(const char* file, List books, size_t last_id)
{
    return lendrec::save_records(file, books, book_saver, last_id);
}

bool serializer_save_users(const char* file, List users, size_t last_id)
{
    return lendrec::save_records(file, users, user_saver, last_id);
}

bool serializer_save_borrows(const char* file, List borrows, size_t last_id)
{
    return lendrec::save_records(file, borrows, borrow_saver, last_id);
}

size_t serializer_load_books(const char* file, List books)
{
    return lendrec::load_records(file, books, kBooks, nullptr, nullptr);
}

size_t serializer_load_users(const char* file, List users)
{
    return lendrec::load_records(file, users, kUsers, nullptr, nullptr);
}

size_t serializer_load_borrows(const char* file, List borrows)
{
    return lendrec::load_records(file, borrows, kLoans, nullptr, nullptr);
}

size_t serializer_load_books_reporting(const char* file, List books, ProblemFunction problem,
                                       void* args)
{
    return lendrec::load_records(file, books, kBooks, problem, args);
}

size_t serializer_load_users_reporting(const char* file, List users, ProblemFunction problem,
                                       void* args)
{
    return lendrec::load_records(file, users, kUsers, problem, args);
}

size_t serializer_load_borrows_reporting(const char* file, List borrows, ProblemFunction problem,
                                         void* args)
{
    return lendrec::load_records(file, borrows, kLoans, problem, args);
}
