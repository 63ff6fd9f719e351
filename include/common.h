/*
 * common.h - shared types of the lendrec record core and its small helpers:
 * phone and date validation, date splitting and ordering, decimal number
 * parsing and console input flushing.
 *
 * Every function here answers through its result only; nothing is printed
 * or logged, and no answer depends on an earlier call (the pattern rule
 * remembers its last date answers, per thread, only to give them faster).
 */
#ifndef LENDREC_COMMON_H
#define LENDREC_COMMON_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

/*
 * LENDREC_API marks the functions a shared lendrec library exports; the
 * library is compiled with everything else hidden. The build defines
 * LENDREC_BUILDING_SHARED while it compiles the shared library; for static
 * libraries and for every caller the mark is empty.
 */
#if defined(LENDREC_BUILDING_SHARED) && defined(_WIN32)
#define LENDREC_API __declspec(dllexport)
#elif defined(LENDREC_BUILDING_SHARED) && defined(__GNUC__)
#define LENDREC_API __attribute__((visibility("default")))
#else
#define LENDREC_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A NUL-terminated text. Texts that records hand out are borrowed views. */
typedef char* String;

/* Releases one element (a list's deleter). */
typedef void (*ConsumerFunction)(void* content);
/* Visits one element; args is the caller's extra pointer. */
typedef void (*IterationFunction)(void* content, void* args);
/* Two elements in, a verdict out: a match for searches (element, key), or
 * "out of order" for sorts (earlier, later). */
typedef bool (*CompareFunction)(void* first, void* second);

/* A DD/MM/YYYY date split into its numbers. */
typedef struct date_t {
    uint32_t day;
    uint32_t month;
    uint32_t year;
} date_t;

typedef char Date[11];           /* ten characters of a date and the terminator */
typedef char Phone[17];          /* a phone of at most 16 characters and the terminator */
typedef char ObjectString[1024]; /* one line of a record file, in the classic layout */

/*
 * Phone validation. Returns true when `phone` has the accepted shape.
 * Pattern rule (default where <regex.h> exists): "+DD DD DDD DD DD", exactly.
 * Character rule (LENDREC_CHARACTER_RULE defined, or no <regex.h>): 8 to 20
 * characters, each a digit, '+' or ' '. A null phone gives false.
 */
LENDREC_API bool common_verify_phone(const char* phone);

/*
 * Date validation. Returns true when `date` is DD/MM/YYYY with day <= 31,
 * month <= 12 and year <= 2999. The pattern rule accepts a zero day or month
 * (the all-zero date); the character rule requires both to be at least 1.
 * Neither relates the day to the month. A null date gives false.
 */
LENDREC_API bool common_verify_date(const char* date);

/*
 * Splits "D/M/Y" into its numbers, reading as far as the text matches; the
 * fields from the first one that does not parse stay 0. A null date gives
 * all zeros. Nothing allocates.
 */
LENDREC_API date_t common_date_fields(const char* date);

/*
 * Orders two dates by year, then month, then day: 1 when date01 is later,
 * -1 when it is earlier, 0 when equal. A null argument gives -1, so callers
 * that need "strictly later" test for exactly 1.
 */
LENDREC_API int common_compare_dates(const char* date01, const char* date02);

/*
 * True when every character of `str` is a decimal digit; the empty text is a
 * number. `str` must not be null.
 */
LENDREC_API bool common_is_number(const char* str);

/*
 * Parses plain decimal digits into *number over the whole size_t range.
 * Returns false, leaving *number untouched, for text that is not all digits
 * or whose value does not fit size_t. The empty text stores 0 and returns
 * true. Neither argument may be null.
 */
LENDREC_API bool common_parse_number(const char* str, size_t* number);

/* Discards standard input up to and including the next newline, or to end
 * of input. */
LENDREC_API void common_clean_buffer(void);

#ifdef __cplusplus
}
#endif

#endif /* LENDREC_COMMON_H */
