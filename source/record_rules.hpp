/*
 * record_rules.hpp - the rules that the fields of books, users and loans
 * obey, written once and shared privately by the records (their
 * constructors and setters) and by the record-file loader, so that the cause
 * a loader tells and the refusal a setter gives can never drift apart; and
 * the two ways a record keeps a text (an owned heap copy, a bounded copy in
 * its own array) and builds itself.
 */
#ifndef LENDREC_SOURCE_RECORD_RULES_HPP
#define LENDREC_SOURCE_RECORD_RULES_HPP

#include <cstddef>
#include <cstdlib>
#include <limits>
#include <string_view>

#include "common.h"

namespace lendrec::rules {

/* A record text (title, author, genre, name, address): present and not
 * empty. */
inline bool text_ok(const char* text)
{
    return text != nullptr && text[0] != '\0';
}

/* Makes *field an owned heap copy of `text`. False, *field untouched, for a
 * text that text_ok refuses or when memory runs out. */
bool set_owned_text(String* field, const char* text);

/* Copies `text` and its terminator into `target`, an array of `capacity`
 * bytes; `text` may be the array's own. False, nothing copied, when it does
 * not fit. */
bool copy_bounded(char* target, size_t capacity, const char* text);

/* What is wrong with a phone number, if anything. */
enum class PhoneFault { none, shape, length };

/* A phone is of the validated shape and fits a Phone with its terminator. */
inline PhoneFault phone_fault(const char* phone)
{
    if (!common_verify_phone(phone))
        return PhoneFault::shape;
    for (size_t i = 0; i < sizeof(Phone); ++i)
        if (phone[i] == '\0')
            return PhoneFault::none;
    return PhoneFault::length;
}

/* A date is valid and fits a Date with its terminator. */
inline bool date_ok(const char* date)
{
    if (!common_verify_date(date))
        return false;
    for (size_t i = 0; i < sizeof(Date); ++i)
        if (date[i] == '\0')
            return true;
    return false;
}

/* A loan comes back strictly after it went out. */
inline bool returns_after(const char* date, const char* return_date)
{
    return common_compare_dates(return_date, date) == 1;
}

/* Never more copies on the shelf than the library owns. */
inline bool available_fits(size_t available, size_t quantity)
{
    return available <= quantity;
}

/* What is wrong with a number field, if anything. */
enum class NumberFault { none, not_number, too_large };

/* A number field of a record file: one or more plain decimal digits (no
 * sign, no blank) whose value fits size_t, stored in `value`. The empty
 * text is not a number here; common_parse_number, whose contract reads it
 * as 0, is this rule plus that one case. */
inline NumberFault parse_size(std::string_view text, size_t& value)
{
    if (text.empty())
        return NumberFault::not_number;
    /* Up to digits10 digits cannot overflow: the common case needs no check. */
    const bool short_text = text.size() <= std::numeric_limits<size_t>::digits10;
    constexpr size_t kMax = std::numeric_limits<size_t>::max();
    size_t v = 0;
    bool overflow = false;
    for (char c : text) {
        const auto digit = static_cast<unsigned char>(c - '0');
        if (digit > 9)
            return NumberFault::not_number;
        if (!short_text && v > (kMax - digit) / 10)
            overflow = true;
        v = v * 10 + digit;
    }
    if (overflow)
        return NumberFault::too_large;
    value = v;
    return NumberFault::none;
}

/* One or more decimal digits, of any length. */
inline bool all_digits(std::string_view text)
{
    if (text.empty())
        return false;
    for (char c : text)
        if (c < '0' || c > '9')
            return false;
    return true;
}

/*
 * Builds a record the one way every kind does: `fill` sets the fields of a
 * zeroed draft on the stack through the record's own setters; when all are
 * taken the draft moves to a heap block of its own. When `fill` refuses or
 * memory runs out, `release_texts` frees what the draft owns and null comes
 * back. Records are plain structs released with std::free.
 */
template <typename Record, typename Fill, typename Release>
Record* build_record(Fill fill, Release release_texts)
{
    Record draft{};
    if (fill(&draft)) {
        if (auto* record = static_cast<Record*>(std::malloc(sizeof(Record)))) {
            *record = draft;
            return record;
        }
    }
    release_texts(&draft);
    return nullptr;
}

} // namespace lendrec::rules

#endif /* LENDREC_SOURCE_RECORD_RULES_HPP */
