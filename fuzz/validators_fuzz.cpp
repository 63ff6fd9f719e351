/*
 * validators_fuzz.cpp - phone and date validation, date splitting and
 * ordering, the number helpers and the owned string copy, each held against
 * a plain reference written out here. The input is split at its first NUL
 * into two texts.
 */
#include <cstring>
#include <string>
#include <string_view>
#include <tuple>

#include "../tests/rule.hpp"
#include "fuzz_support.hpp"
#include "strman.h"

namespace {

bool digit(char c)
{
    return c >= '0' && c <= '9';
}

/* True when `s` has the shape of `shape`, where '9' stands for any digit. */
bool has_shape(std::string_view s, std::string_view shape)
{
    if (s.size() != shape.size())
        return false;
    for (size_t i = 0; i < s.size(); ++i)
        if (shape[i] == '9' ? !digit(s[i]) : s[i] != shape[i])
            return false;
    return true;
}

unsigned number_at(std::string_view s, size_t at, size_t count)
{
    unsigned value = 0;
    for (size_t i = at; i < at + count; ++i)
        value = value * 10 + static_cast<unsigned>(s[i] - '0');
    return value;
}

bool reference_phone(std::string_view s)
{
    if (!kCharacterRule)
        return has_shape(s, "+99 99 999 99 99");
    if (s.size() < 8 || s.size() > 20)
        return false;
    return s.find_first_not_of("0123456789+ ") == std::string_view::npos;
}

bool reference_date(std::string_view s)
{
    if (!has_shape(s, "99/99/9999"))
        return false;
    const unsigned day = number_at(s, 0, 2), month = number_at(s, 3, 2), year = number_at(s, 6, 4);
    const unsigned least = kCharacterRule ? 1 : 0;
    return day >= least && day <= 31 && month >= least && month <= 12 && year <= 2999;
}

/* No run of more than nine digits: the C library's "%u" is then defined. */
bool short_numbers(std::string_view s)
{
    size_t run = 0;
    for (char c : s) {
        run = digit(c) ? run + 1 : 0;
        if (run > 9)
            return false;
    }
    return true;
}

void check_dates(const char* a, const char* b)
{
    FUZZ_CHECK(common_verify_date(a) == reference_date(a));
    const date_t fa = common_date_fields(a);
    if (short_numbers(a)) {
        unsigned d = 0, m = 0, y = 0;
        std::sscanf(a, "%u/%u/%u", &d, &m, &y);
        FUZZ_CHECK(fa.day == d && fa.month == m && fa.year == y);
    }
    const date_t fb = common_date_fields(b);
    const auto ka = std::tie(fa.year, fa.month, fa.day), kb = std::tie(fb.year, fb.month, fb.day);
    const int expected = ka < kb ? -1 : (kb < ka ? 1 : 0);
    FUZZ_CHECK(common_compare_dates(a, b) == expected);
    FUZZ_CHECK(common_compare_dates(b, a) == -expected);
    FUZZ_CHECK(common_compare_dates(a, a) == 0);
    FUZZ_CHECK(common_compare_dates(nullptr, a) == -1 && common_compare_dates(a, nullptr) == -1);
}

void check_numbers(const char* a)
{
    const std::string_view s(a);
    const bool all_digits = s.find_first_not_of("0123456789") == std::string_view::npos;
    FUZZ_CHECK(common_is_number(a) == all_digits);

    bool fits = all_digits;
    size_t expected = 0;
    for (size_t i = 0; fits && i < s.size(); ++i) {
        const auto d = static_cast<size_t>(s[i] - '0');
        fits = expected <= (SIZE_MAX - d) / 10;
        expected = expected * 10 + d;
    }
    size_t number = 12345;
    FUZZ_CHECK(common_parse_number(a, &number) == fits);
    FUZZ_CHECK(number == (fits ? expected : 12345));
}

/* Copies a, then a piece of the field's own text (overlapping source), then
 * b into one field. */
void check_copy(const char* a, const char* b, size_t cut)
{
    String field = nullptr;
    FUZZ_CHECK(strman_copy(&field, a) == field && field != nullptr && std::strcmp(field, a) == 0);
    const std::string suffix(a + cut);
    FUZZ_CHECK(strman_copy(&field, field + cut) == field && suffix == field);
    FUZZ_CHECK(strman_copy(&field, nullptr) == nullptr && suffix == field);
    FUZZ_CHECK(strman_copy(&field, b) == field && std::strcmp(field, b) == 0);
    std::free(field);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string input(reinterpret_cast<const char*>(data), size);
    const char* a = input.c_str();
    const size_t a_length = std::strlen(a);
    const char* b = a_length < size ? a + a_length + 1 : "";

    FUZZ_CHECK(common_verify_phone(a) == reference_phone(a));
    FUZZ_CHECK(!common_verify_phone(nullptr) && !common_verify_date(nullptr));
    check_dates(a, b);
    check_numbers(a);
    check_copy(a, b, size == 0 ? 0 : data[size - 1] % (a_length + 1));
    return 0;
}
