/*
 * record_fields.hpp - how the loader judges the fields of one record line:
 * the kinds of record as the loader sees them, the fault that keeps a line
 * from becoming a record as written, and the plain-English cause told for
 * each.
 */
#ifndef LENDREC_SOURCE_RECORD_FIELDS_HPP
#define LENDREC_SOURCE_RECORD_FIELDS_HPP

#include <cstddef>
#include <string_view>

#include "list.h"
#include "record_format.hpp"
#include "serializer.h"

namespace lendrec {

/* Why a line or a stretch of the file was not taken as written. */
enum class Fault : unsigned char {
    none,
    field_count,        /* refused: not as many fields as the kind has */
    not_number,         /* refused: a number field that is not digits */
    too_large,          /* refused: a number beyond size_t */
    empty_text,         /* refused: a record text left empty */
    bad_phone,          /* refused: a phone of the wrong shape */
    long_phone,         /* refused: a phone that a Phone cannot hold */
    bad_date,           /* refused: not a valid date */
    return_not_after,   /* refused: the loan comes back before it went out */
    quote_never_closed, /* refused: the file ends inside quotes */
    text_after_quote,   /* refused: a closing quote not ending its field */
    stray_cr,           /* refused: a CR that is not part of a line end */
    nul_byte,           /* refused: a NUL anywhere in the line */
    no_trailer,         /* refused: the file ends without a trailer */
    trailer_too_large,  /* refused: a trailer beyond size_t, read as SIZE_MAX */
    available_above,    /* changed: more on the shelf than owned, lowered */
    after_trailer,      /* ignored: text after the trailer line */
};

/* A fault, and the field (counted from 0) it concerns where it names one. */
struct Verdict {
    Fault fault = Fault::none;
    size_t field = 0;
    explicit operator bool() const { return fault != Fault::none; }
};

/*
 * One kind of record as the loader sees it. `layout` holds one rule letter
 * per field, in order:
 *   n  a number: parse_size        f  a flag: digits of any length
 *   t  a record text: text_ok      p  a phone: phone_fault
 *   d  a date: date_ok             r  a return date: a date after the
 *                                     previous field's
 * `names` names each field in causes. `load` is given exactly
 * layout.size() fields, builds the record, appends it to the list and
 * answers what was wrong or changed (throwing std::bad_alloc when memory
 * runs out); `release` frees one record that a load appended.
 */
struct RecordKind {
    std::string_view layout;
    const char* const* names;
    Verdict (*load)(Fields fields, List list);
    ConsumerFunction release;
};

/* Reads the number ('n') and flag ('f') fields, in order, into `numbers`
 * (a flag as 1 when any digit is not 0). False at the first that does not
 * read; the other fields are not looked at. */
bool read_numbers(Fields fields, std::string_view layout, size_t* numbers);

/* The first field, in order, that breaks its rule. A kind's loader asks
 * this once its record refused the fields; when every rule holds the
 * refusal can only have been for want of memory, and std::bad_alloc is
 * thrown. */
Verdict first_fault(Fields fields, std::string_view layout);

/* Tells problems to the caller's callback, if there is one. */
class Problems {
public:
    Problems(ProblemFunction problem, void* args, const RecordKind& kind)
        : problem_(problem), args_(args), kind_(kind)
    {}

    /* True when someone listens. */
    bool on() const { return problem_ != nullptr; }

    /* Tells the verdict on `line`, with `found` fields for field_count. */
    void tell(size_t line, Verdict verdict, size_t found = 0) const;

    /* Tells that the file as a whole could not be read: the system's
     * text for errno `error`. */
    void not_read(int error) const;

private:
    ProblemFunction problem_;
    void* args_;
    const RecordKind& kind_;
};

} // namespace lendrec

#endif /* LENDREC_SOURCE_RECORD_FIELDS_HPP */
