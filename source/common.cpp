/*
 * common.cpp - phone and date validation, date splitting and ordering,
 * decimal number parsing and console input flushing.
 *
 * The validation rule is fixed when the core is compiled: the character rule
 * when LENDREC_CHARACTER_RULE is defined or <regex.h> is missing, the pattern
 * rule (POSIX extended regular expressions) otherwise.
 */
#include "common.h"

#include "record_rules.hpp"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <charconv>
#include <system_error>

#if defined(LENDREC_CHARACTER_RULE) || !__has_include(<regex.h>)
#define LENDREC_USE_CHARACTER_RULE 1
#else
#define LENDREC_USE_CHARACTER_RULE 0
#include <regex.h>

#include <atomic>
#include <mutex>
#endif

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' ||
           c == '\r';
}

/*
 * Reads one "%u" field at *p the way scanf does: leading white space is
 * skipped, an optional sign is taken, then at least one digit. A '-' negates
 * modulo 2^32, as %u does. Magnitudes beyond 32 bits, which the C library
 * leaves undefined, saturate at UINT32_MAX. On success *p moves past the
 * field; on failure it is left alone and false comes back.
 */
bool read_field(const char** p, uint32_t* out)
{
    const char* s = *p;
    while (is_space(*s))
        s++;
    bool negative = false;
    if (*s == '+' || *s == '-') {
        negative = *s == '-';
        s++;
    }
    if (!is_digit(*s))
        return false;
    uint32_t value = 0;
    bool saturated = false;
    for (; is_digit(*s); s++) {
        const auto digit = static_cast<uint32_t>(*s - '0');
        if (value > (UINT32_MAX - digit) / 10u)
            saturated = true;
        else
            value = value * 10u + digit;
    }
    if (saturated)
        value = UINT32_MAX;
    else if (negative)
        value = 0u - value;
    *out = value;
    *p = s;
    return true;
}

/* True when the text starts DD/MM/YYYY and no fifth year digit follows.
 * Stops at the first mismatch, so a shorter text is read no further than
 * its terminator. */
bool is_dd_mm_yyyy(const char* s)
{
    return is_digit(s[0]) && is_digit(s[1]) && s[2] == '/' && is_digit(s[3]) &&
           is_digit(s[4]) && s[5] == '/' && is_digit(s[6]) && is_digit(s[7]) &&
           is_digit(s[8]) && is_digit(s[9]) && !is_digit(s[10]);
}

/* The number that `count` checked digits at s spell. */
uint32_t digits_of(const char* s, size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count; i++)
        value = value * 10u + static_cast<uint32_t>(s[i] - '0');
    return value;
}

/* Length of s, counting no further than max. */
size_t bounded_length(const char* s, size_t max)
{
    size_t n = 0;
    while (n < max && s[n] != '\0')
        n++;
    return n;
}

#if LENDREC_USE_CHARACTER_RULE

/* Two or four digits at s, as a number; the caller has checked them. */
int digits_value(const char* s, size_t count)
{
    int value = 0;
    for (size_t i = 0; i < count; i++)
        value = value * 10 + (s[i] - '0');
    return value;
}

#else

/*
 * One compiled pattern, kept for the whole run once compiling succeeded.
 * A compile that failed (for want of memory) is tried again on the next
 * call, so one bad moment does not refuse every later phone or date.
 */
class Pattern {
public:
    explicit Pattern(const char* expression) : expression_(expression) {}
    ~Pattern()
    {
        if (ok_.load(std::memory_order_acquire))
            regfree(&regex_);
    }
    Pattern(const Pattern&) = delete;
    Pattern& operator=(const Pattern&) = delete;

    /* True when the whole text matches; false also when compiling failed. */
    bool matches(const char* text)
    {
        if (!ok_.load(std::memory_order_acquire)) {
            std::lock_guard<std::mutex> lock(compiling_);
            if (!ok_.load(std::memory_order_relaxed)) {
                if (regcomp(&regex_, expression_, REG_EXTENDED | REG_NOSUB) != 0)
                    return false;
                ok_.store(true, std::memory_order_release);
            }
        }
        return regexec(&regex_, text, 0, nullptr, 0) == 0;
    }

    /* True once compiling succeeded: a false from matches() then judged
     * the text, not a want of memory. */
    bool compiled() const { return ok_.load(std::memory_order_acquire); }

private:
    const char* expression_;
    regex_t regex_{};
    std::atomic<bool> ok_{false};
    std::mutex compiling_;
};

Pattern& phone_pattern()
{
    static Pattern pattern(
        "^[+]{1}[0-9]{2} [0-9]{2} [0-9]{3} [0-9]{2} [0-9]{2}$");
    return pattern;
}

Pattern& date_pattern()
{
    static Pattern pattern("^[0-9]{2}[/]{1}[0-9]{2}[/]{1}[0-9]{4}$");
    return pattern;
}

/*
 * The last answers given for date texts of at most ten characters. A loan
 * file repeats the same dates over and over, and matching the expression
 * costs many times a comparison of ten bytes. A text is kept in the slot
 * its bytes pick, replacing the one there; an answer is only ever the
 * expression's own, remembered. Each thread keeps its own.
 */
class DateAnswers {
public:
    static constexpr size_t kLongest = 10;

    /* The remembered answer for a text of `length` <= kLongest bytes, into
     * *answer; false when there is none. */
    bool find(const char* date, size_t length, bool* answer) const
    {
        const Entry& entry = entries_[slot(date, length)];
        if (!entry.known || std::memcmp(entry.text, date, length + 1) != 0)
            return false;
        *answer = entry.answer;
        return true;
    }

    /* Remembers the answer for a text of `length` <= kLongest bytes. */
    void keep(const char* date, size_t length, bool answer)
    {
        Entry& entry = entries_[slot(date, length)];
        std::memcpy(entry.text, date, length + 1);
        entry.known = true;
        entry.answer = answer;
    }

private:
    static constexpr size_t kSlots = 16;

    struct Entry {
        char text[kLongest + 1];
        bool known;
        bool answer;
    };

    /* A slot picked from every byte of the text and its length. */
    static size_t slot(const char* date, size_t length)
    {
        size_t hash = length;
        for (size_t i = 0; i < length; i++)
            hash = hash * 31u + static_cast<unsigned char>(date[i]);
        return (hash ^ (hash >> 4)) % kSlots;
    }

    Entry entries_[kSlots]{};
};

/* What the pattern rule answers for a date, without the remembered ones. */
bool pattern_date_answer(const char* date)
{
    if (!date_pattern().matches(date))
        return false;
    const date_t fields = common_date_fields(date);
    return fields.day <= 31u && fields.month <= 12u && fields.year <= 2999u;
}

#endif

} // namespace

extern "C" {

bool common_verify_phone(const char* phone)
{
    if (phone == nullptr)
        return false;
#if LENDREC_USE_CHARACTER_RULE
    /* Stop counting past 20: a long text is refused without a full walk. */
    const size_t length = bounded_length(phone, 21);
    if (length < 8 || length > 20)
        return false;
    for (size_t i = 0; i < length; i++) {
        if (!is_digit(phone[i]) && phone[i] != '+' && phone[i] != ' ')
            return false;
    }
    return true;
#else
    return phone_pattern().matches(phone);
#endif
}

bool common_verify_date(const char* date)
{
    if (date == nullptr)
        return false;
#if LENDREC_USE_CHARACTER_RULE
    if (bounded_length(date, 11) != 10)
        return false;
    for (size_t i = 0; i < 10; i++) {
        const bool ok = (i == 2 || i == 5) ? date[i] == '/' : is_digit(date[i]);
        if (!ok)
            return false;
    }
    const int day = digits_value(date, 2);
    const int month = digits_value(date + 3, 2);
    const int year = digits_value(date + 6, 4);
    return day >= 1 && day <= 31 && month >= 1 && month <= 12 &&
           year >= 0 && year <= 2999;
#else
    thread_local DateAnswers remembered;
    const size_t length = bounded_length(date, DateAnswers::kLongest + 1);
    if (length > DateAnswers::kLongest)
        return pattern_date_answer(date);
    bool answer = false;
    if (remembered.find(date, length, &answer))
        return answer;
    answer = pattern_date_answer(date);
    if (date_pattern().compiled())
        remembered.keep(date, length, answer);
    return answer;
#endif
}

date_t common_date_fields(const char* date)
{
    date_t fields{0, 0, 0};
    if (date == nullptr)
        return fields;
    if (is_dd_mm_yyyy(date)) {
        /* What "%u/%u/%u" reads of this shape, without the general walk:
         * every date of a loan has it, and a loan being built splits its
         * dates up to four times. */
        fields.day = digits_of(date, 2);
        fields.month = digits_of(date + 3, 2);
        fields.year = digits_of(date + 6, 4);
        return fields;
    }
    /* "%u/%u/%u": each '/' must follow its field directly. */
    const char* p = date;
    if (!read_field(&p, &fields.day) || *p++ != '/')
        return fields;
    if (!read_field(&p, &fields.month) || *p++ != '/')
        return fields;
    read_field(&p, &fields.year);
    return fields;
}

int common_compare_dates(const char* date01, const char* date02)
{
    if (date01 == nullptr || date02 == nullptr)
        return -1;
    const date_t a = common_date_fields(date01);
    const date_t b = common_date_fields(date02);
    const uint32_t left[] = {a.year, a.month, a.day};
    const uint32_t right[] = {b.year, b.month, b.day};
    for (size_t i = 0; i < 3; i++) {
        if (left[i] != right[i])
            return left[i] > right[i] ? 1 : -1;
    }
    return 0;
}

/* The record files' number rule, plus the empty text read as 0. */
bool common_is_number(const char* str)
{
    return *str == '\0' || lendrec::rules::all_digits(str);
}

bool common_parse_number(const char* str, size_t* number)
{
    if (*str == '\0') {
        *number = 0;
        return true;
    }
    return lendrec::rules::parse_size(str, *number) == lendrec::rules::NumberFault::none;
}

void common_clean_buffer(void)
{
    int c;
    do {
        c = std::getchar();
    } while (c != '\n' && c != EOF);
}

} // extern "C"
