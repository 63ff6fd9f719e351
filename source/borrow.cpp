/*
 * borrow.cpp - the loan record: user and book by identifier, loan date,
 * return date strictly after it, and whether the book came back.
 */
#include "borrow.h"

#include <cstdlib>

#include "record_rules.hpp"

namespace rules = lendrec::rules;

struct borrow_t {
    size_t id;
    size_t user_id;
    size_t book_id;
    Date date;
    Date return_date;
    bool returned;
};

extern "C" {

Borrow borrow_new(size_t id, size_t user_id, size_t book_id, const char* date,
                  const char* return_date)
{
    /* The return date is still empty when the loan date is set, so the
     * loan date is not checked against it. */
    return rules::build_record<borrow_t>(
        [&](Borrow draft) {
            draft->id = id;
            draft->user_id = user_id;
            draft->book_id = book_id;
            return borrow_set_date(draft, date) && borrow_set_return_date(draft, return_date);
        },
        [](Borrow) {});
}

void borrow_delete(Borrow borrow)
{
    std::free(borrow);
}

void borrow_deleter(void* borrow)
{
    borrow_delete(static_cast<Borrow>(borrow));
}

size_t borrow_get_id(Borrow borrow)
{
    return borrow != nullptr ? borrow->id : 0;
}

size_t borrow_get_user_id(Borrow borrow)
{
    return borrow != nullptr ? borrow->user_id : 0;
}

size_t borrow_get_book_id(Borrow borrow)
{
    return borrow != nullptr ? borrow->book_id : 0;
}

String borrow_get_date(Borrow borrow)
{
    return borrow != nullptr ? borrow->date : nullptr;
}

String borrow_get_return_date(Borrow borrow)
{
    return borrow != nullptr ? borrow->return_date : nullptr;
}

bool borrow_has_returned(Borrow borrow)
{
    return borrow != nullptr && borrow->returned;
}

bool borrow_set_date(Borrow borrow, const char* date)
{
    if (borrow == nullptr || !rules::date_ok(date))
        return false;
    /* Once the loan has a return date, the loan date stays before it. */
    if (borrow->return_date[0] != '\0' && !rules::returns_after(date, borrow->return_date))
        return false;
    return rules::copy_bounded(borrow->date, sizeof(Date), date);
}

bool borrow_set_return_date(Borrow borrow, const char* return_date)
{
    if (borrow == nullptr || !rules::date_ok(return_date) ||
        !rules::returns_after(borrow->date, return_date))
        return false;
    return rules::copy_bounded(borrow->return_date, sizeof(Date), return_date);
}

bool borrow_return(Borrow borrow)
{
    if (borrow == nullptr || borrow->returned)
        return false;
    borrow->returned = true;
    return true;
}

} // extern "C"
