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

#include <algorithm>
#include <atomic>
#include <bit>
#include <mutex>
#include <new>
#include <vector>
#endif

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_space(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
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
    return is_digit(s[0]) && is_digit(s[1]) && s[2] == '/' && is_digit(s[3]) && is_digit(s[4]) &&
           s[5] == '/' && is_digit(s[6]) && is_digit(s[7]) && is_digit(s[8]) && is_digit(s[9]) &&
           !is_digit(s[10]);
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
    static Pattern pattern("^[+]{1}[0-9]{2} [0-9]{2} [0-9]{3} [0-9]{2} [0-9]{2}$");
    return pattern;
}

Pattern& date_pattern()
{
    static Pattern pattern("^[0-9]{2}[/]{1}[0-9]{2}[/]{1}[0-9]{4}$");
    return pattern;
}

/*
 * The answers given for date texts of at most ten characters, for as long
 * as a thread keeps asking. A loans file holds a few thousand distinct dates
 * in any order, and matching the expression costs many times a look-up.
 * Texts are kept in an open-addressed table that starts small and doubles
 * while under half full; when the largest table is half full it is emptied
 * and starts over. An answer is only ever the expression's own, remembered.
 * Each thread keeps its own.
 */
class DateAnswers {
public:
    static constexpr size_t kLongest = 10;

    /* The remembered answer for a text of `length` <= kLongest bytes, into
     * *answer; false when there is none. */
    bool find(const char* date, size_t length, bool* answer) const
    {
        if (entries_.empty())
            return false;
        const Key key = key_of(date, length);
        for (size_t i = slot(key);; i = (i + 1) & (entries_.size() - 1)) {
            const Entry& entry = entries_[i];
            if (entry.state == kEmpty)
                return false;
            if (entry.low == key.low && entry.high == key.high) {
                *answer = entry.state == kValid;
                return true;
            }
        }
    }

    /* Remembers the answer for a text of `length` <= kLongest bytes that
     * find() does not know. Without memory for a larger table the answer
     * is simply not kept. */
    void keep(const char* date, size_t length, bool answer)
    {
        if (2 * (kept_ + 1) > entries_.size() && !make_room())
            return;
        place(key_of(date, length), answer ? kValid : kRefused);
    }

private:
    static constexpr size_t kFirstSlots = 256;
    static constexpr size_t kMostSlots = 65536;
    static constexpr uint32_t kEmpty = 0, kRefused = 1, kValid = 2;

    /* The text and its terminator, zero-padded to twelve bytes: equal keys
     * are equal texts, since no text holds a zero byte before its end. */
    struct Key {
        uint64_t low;
        uint32_t high;
    };

    /* A key and its answer in sixteen bytes. */
    struct Entry {
        uint64_t low;
        uint32_t high;
        uint32_t state;
    };

    static Key key_of(const char* date, size_t length)
    {
        unsigned char bytes[12] = {};
        std::memcpy(bytes, date, length);
        Key key{};
        std::memcpy(&key.low, bytes, sizeof key.low);
        std::memcpy(&key.high, bytes + sizeof key.low, sizeof key.high);
        return key;
    }

    /* A slot picked from every byte of the key: the top bits of a
     * multiplicative hash. */
    size_t slot(Key key) const
    {
        const uint64_t mixed =
            (key.low ^ (uint64_t{key.high} * 0xC2B2AE3D27D4EB4Full)) * 0x9E3779B97F4A7C15ull;
        return static_cast<size_t>(mixed >> shift_);
    }

    void place(Key key, uint32_t state)
    {
        size_t i = slot(key);
        while (entries_[i].state != kEmpty)
            i = (i + 1) & (entries_.size() - 1);
        entries_[i] = {key.low, key.high, state};
        kept_++;
    }

    /* Doubles the table, or empties the largest one; false, the table as
     * it was, when there is no memory for a larger one. */
    bool make_room() noexcept
    {
        if (entries_.size() >= kMostSlots) {
            std::fill(entries_.begin(), entries_.end(), Entry{});
            kept_ = 0;
            return true;
        }
        std::vector<Entry> old;
        try {
            old.resize(entries_.empty() ? kFirstSlots : 2 * entries_.size());
        } catch (const std::bad_alloc&) {
            return false;
        }
        old.swap(entries_);
        shift_ = 64u - static_cast<unsigned>(std::countr_zero(entries_.size()));
        kept_ = 0;
        for (const Entry& entry : old)
            if (entry.state != kEmpty)
                place({entry.low, entry.high}, entry.state);
        return true;
    }

    std::vector<Entry> entries_;
    size_t kept_ = 0;
    unsigned shift_ = 64;
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
    return day >= 1 && day <= 31 && month >= 1 && month <= 12 && year >= 0 && year <= 2999;
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
