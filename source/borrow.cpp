/*
 * borrow.cpp - the loan record: user and book by identifier, loan date,
 * return date strictly after it, and whether the book came back.
 */
#include "borrow.h"

#include <cstring>
#include <new>

struct borrow_t {
    size_t id;
    size_t user_id;
    size_t book_id;
    Date date;
    Date return_date;
    bool returned;
};

namespace {

/* Copies a date that passed common_verify_date (always ten characters, but
 * never trusted to fit). */
bool copy_date(Date target, const char* date)
{
    size_t length = 0;
    while (length < sizeof(Date) && date[length] != '\0')
        length++;
    if (length == sizeof(Date))
        return false;
    std::memmove(target, date, length + 1); /* date may be the record's own */
    return true;
}

} // namespace

extern "C" {

Borrow borrow_new(size_t id, size_t user_id, size_t book_id,
                  const char* date, const char* return_date)
{
    borrow_t pending{};
    pending.id = id;
    pending.user_id = user_id;
    pending.book_id = book_id;
    /* The return date is still empty, so the loan date is not checked
     * against it here. */
    if (!borrow_set_date(&pending, date) ||
        !borrow_set_return_date(&pending, return_date))
        return nullptr;
    return new (std::nothrow) borrow_t(pending);
}

void borrow_delete(Borrow borrow)
{
    delete borrow;
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
    if (borrow == nullptr || !common_verify_date(date))
        return false;
    /* Once the loan has a return date, the loan date stays before it. */
    if (borrow->return_date[0] != '\0' &&
        common_compare_dates(date, borrow->return_date) != -1)
        return false;
    return copy_date(borrow->date, date);
}

bool borrow_set_return_date(Borrow borrow, const char* return_date)
{
    if (borrow == nullptr || !common_verify_date(return_date))
        return false;
    if (common_compare_dates(return_date, borrow->date) != 1)
        return false;
    return copy_date(borrow->return_date, return_date);
}

bool borrow_return(Borrow borrow)
{
    if (borrow == nullptr || borrow->returned)
        return false;
    borrow->returned = true;
    return true;
}

} // extern "C"
