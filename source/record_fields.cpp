/*
 * record_fields.cpp - field rules applied to one record line, and the
 * causes told for what was wrong with it.
 */
#include "record_fields.hpp"

#include <charconv>
#include <iterator>
#include <cstring>
#include <new>

#include "record_rules.hpp"

namespace lendrec {
namespace {

Fault number_fault(rules::NumberFault fault)
{
    switch (fault) {
    case rules::NumberFault::none:
        return Fault::none;
    case rules::NumberFault::too_large:
        return Fault::too_large;
    case rules::NumberFault::not_number:
        break;
    }
    return Fault::not_number;
}

Fault phone_fault(const char* phone)
{
    switch (rules::phone_fault(phone)) {
    case rules::PhoneFault::none:
        return Fault::none;
    case rules::PhoneFault::length:
        return Fault::long_phone;
    case rules::PhoneFault::shape:
        break;
    }
    return Fault::bad_phone;
}

/* What is wrong with field i under its rule letter, if anything. */
Fault field_fault(char rule, Fields fields, size_t i)
{
    const std::string_view text = fields[i];
    size_t unused = 0;
    switch (rule) {
    case 'n':
        return number_fault(rules::parse_size(text, unused));
    case 'f':
        return rules::all_digits(text) ? Fault::none : Fault::not_number;
    case 't':
        return rules::text_ok(text.data()) ? Fault::none : Fault::empty_text;
    case 'p':
        return phone_fault(text.data());
    case 'd':
        return rules::date_ok(text.data()) ? Fault::none : Fault::bad_date;
    case 'r':
        if (!rules::date_ok(text.data()))
            return Fault::bad_date;
        return rules::returns_after(fields[i - 1].data(), text.data()) ? Fault::none
                                                                       : Fault::return_not_after;
    default:
        return Fault::none;
    }
}

/* How each fault is told: its kind, and its phrase, which follows
 * "field N (name) " when the fault names a field. In the order of Fault;
 * field_count is worded apart. */
struct Wording {
    serializer_problem_t kind;
    bool names_field;
    std::string_view phrase;
};

constexpr Wording kWordings[] = {
    {SERIALIZER_REFUSED, false, ""}, /* none */
    {SERIALIZER_REFUSED, false, ""}, /* field_count */
    {SERIALIZER_REFUSED, true, "is not a whole number"},
    {SERIALIZER_REFUSED, true, "is too large"},
    {SERIALIZER_REFUSED, true, "is empty"},
    {SERIALIZER_REFUSED, true, "is not a valid phone number"},
    {SERIALIZER_REFUSED, true, "is longer than 16 characters"},
    {SERIALIZER_REFUSED, true, "is not a valid date"},
    {SERIALIZER_REFUSED, false, "return date is not after the loan date"},
    {SERIALIZER_REFUSED, false, "quote never closed"},
    {SERIALIZER_REFUSED, false, "text after a closing quote"},
    {SERIALIZER_REFUSED, false, "a stray CR outside quotes"},
    {SERIALIZER_REFUSED, false, "a NUL byte"},
    {SERIALIZER_REFUSED, false, "no trailer line: the next identifier is unknown"},
    {SERIALIZER_REFUSED, false, "the trailer is too large (a number beyond size_t)"},
    {SERIALIZER_CHANGED, true, "is above the quantity: lowered to the quantity"},
    {SERIALIZER_IGNORED, false, "text after the trailer line is ignored"},
};
static_assert(std::size(kWordings) == static_cast<size_t>(Fault::after_trailer) + 1);

/* A cause being worded, in a buffer of its own; texts beyond its room are
 * cut, never overrun. */
class Cause {
public:
    Cause& operator<<(std::string_view text)
    {
        const size_t n = text.size() < room() ? text.size() : room();
        std::memcpy(text_ + used_, text.data(), n);
        used_ += n;
        return *this;
    }
    Cause& operator<<(size_t number)
    {
        char digits[24];
        const char* end = std::to_chars(digits, digits + sizeof digits, number).ptr;
        return *this << std::string_view(digits, static_cast<size_t>(end - digits));
    }
    const char* c_str()
    {
        text_[used_] = '\0';
        return text_;
    }

private:
    size_t room() const { return sizeof text_ - 1 - used_; }

    char text_[160];
    size_t used_ = 0;
};

} // namespace

bool read_numbers(Fields fields, std::string_view layout, size_t* numbers)
{
    for (size_t i = 0; i < layout.size(); ++i) {
        if (layout[i] == 'n') {
            if (rules::parse_size(fields[i], *numbers++) != rules::NumberFault::none)
                return false;
        } else if (layout[i] == 'f') {
            if (!rules::all_digits(fields[i]))
                return false;
            *numbers++ = fields[i].find_first_not_of('0') != std::string_view::npos ? 1 : 0;
        }
    }
    return true;
}

Verdict first_fault(Fields fields, std::string_view layout)
{
    for (size_t i = 0; i < layout.size(); ++i) {
        const Fault fault = field_fault(layout[i], fields, i);
        if (fault != Fault::none)
            return {fault, i};
    }
    throw std::bad_alloc();
}

void Problems::tell(size_t line, Verdict verdict, size_t found) const
{
    if (problem_ == nullptr)
        return;
    Cause cause;
    serializer_problem_t kind = SERIALIZER_REFUSED;
    if (verdict.fault == Fault::field_count) {
        cause << "expected " << kind_.layout.size() << " fields, found " << found;
    } else {
        const Wording& w = kWordings[static_cast<size_t>(verdict.fault)];
        if (w.names_field)
            cause << "field " << verdict.field + 1 << " (" << kind_.names[verdict.field] << ") ";
        cause << w.phrase;
        kind = w.kind;
    }
    problem_(line, kind, cause.c_str(), args_);
}

void Problems::not_read(int error) const
{
    if (problem_ != nullptr)
        problem_(0, SERIALIZER_NOT_READ, std::strerror(error), args_);
}

} // namespace lendrec
