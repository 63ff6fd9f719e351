/*
 * Phone and date validation under the rule this core was built with, date
 * splitting and ordering, number parsing and console input flushing.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <tuple>
#include <vector>

#include "common.h"
#include "rule.hpp"

namespace {

/* One text and the verdict each rule must give it. */
struct RuleCase {
    const char* text;
    bool pattern, character;
    bool expected() const { return kCharacterRule ? character : pattern; }
};

/* Independent statements of the two phone rules. */
bool reference_phone(const std::string& s)
{
    if (kCharacterRule)
        return s.size() >= 8 && s.size() <= 20 && s.find_first_not_of("0123456789+ ") == s.npos;
    const std::string shape = "+NN NN NNN NN NN";
    for (size_t i = 0; i < s.size() && s.size() == shape.size(); i++)
        if (shape[i] == 'N' ? (s[i] < '0' || s[i] > '9') : s[i] != shape[i])
            return false;
    return s.size() == shape.size();
}

std::string date_text(unsigned day, unsigned month, unsigned year)
{
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%02u/%02u/%04u", day, month, year);
    return buffer;
}

/* An independent statement of both date rules for a DD/MM/YYYY text. */
bool reference_date(unsigned day, unsigned month, unsigned year)
{
    const bool low = !kCharacterRule || (day >= 1 && month >= 1);
    return low && day <= 31 && month <= 12 && year <= 2999;
}

/* Texts that differ in one byte, in length only, or past the tenth byte. */
const RuleCase kDateLookAlikes[] = {
    {"01/02/2024", true, true},      {"01/02/2025", true, true},
    {"01/02/202", false, false},     {"01/02/20245", false, false},
    {"01/02/2024\n", false, false},  {"01/32/2024", false, false},
    {"32/02/2024", false, false},    {"00/02/2024", true, false},
    {"01/02/202x", false, false},    {"", false, false},
    {"01/02/2024 12", false, false}, {"11/02/2024", true, true},
};

} // namespace

TEST(CommonVerifyPhone, AcceptsExactlyTheShapesOfTheRuleInForce)
{
    /* Lengths 7, 8, 20 and 21 bound the character rule; the random near
     * misses below cover the pattern's shape. */
    const RuleCase cases[] = {
        {"+12 34 567 89 01", true, true},
        {"25356218", false, true},
        {"1234567", false, false},
        {"12345678901234567890", false, true},
        {"123456789012345678901", false, false},
        {"++++    ", false, true},
        {"a2345678", false, false},
        {"+12-34-567-89-01", false, false},
        {"+12 34 567 89 01\n", false, false},
        {"", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(common_verify_phone(c.text), c.expected()) << '"' << c.text << '"';
    EXPECT_FALSE(common_verify_phone(nullptr));
}

TEST(CommonVerifyPhone, AgreesWithTheRuleOnRandomNearMisses)
{
    std::mt19937 rng(20240601);
    const std::string alphabet = "0123456789+ a";
    auto pick = [&](size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(rng); };
    for (int round = 0; round < 5000; round++) {
        std::string phone = "+";
        for (char c : std::string("NN NN NNN NN NN"))
            phone += c == 'N' ? static_cast<char>('0' + pick(10)) : c;
        switch (pick(4)) {
        case 0:
            phone[pick(phone.size())] = alphabet[pick(alphabet.size())];
            break;
        case 1:
            phone.insert(pick(phone.size() + 1), 1, alphabet[pick(alphabet.size())]);
            break;
        case 2:
            phone.erase(pick(phone.size()), 1 + pick(9));
            break;
        default:
            break;
        }
        ASSERT_EQ(common_verify_phone(phone.c_str()), reference_phone(phone))
            << '"' << phone << '"';
    }
}

TEST(CommonVerifyDate, RefusesEveryOtherShapeAndTheZeroDayOrMonthOnlyUnderTheCharacterRule)
{
    /* Days and months of well-formed dates are covered by the property
     * below; these are the years at the ends and the shapes around them. */
    const RuleCase cases[] = {
        {"29/02/2024", true, true},    {"31/02/2023", true, true},   {"31/12/2999", true, true},
        {"01/01/0000", true, true},    {"01/01/3000", false, false}, {"00/01/2000", true, false},
        {"01/00/2000", true, false},   {"00/00/0000", true, false},  {"1/01/2000", false, false},
        {"01/01/20000", false, false}, {"2000/01/01", false, false}, {"2000-01-01", false, false},
        {"01-01-2000", false, false},  {"01/01/200a", false, false}, {"01/01/2000 ", false, false},
        {" 1/01/2000", false, false},  {"+1/01/2000", false, false}, {"", false, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(common_verify_date(c.text), c.expected()) << '"' << c.text << '"';
    EXPECT_FALSE(common_verify_date(nullptr));
}

/* Loans repeat the same dates, and answers may be remembered: look-alikes
 * asked over and over in changing order each keep their own verdict. */
TEST(CommonVerifyDate, AsksAgainAmongLookAlikesGiveTheSameVerdicts)
{
    std::mt19937 rng(3);
    std::vector<const RuleCase*> order;
    for (const auto& c : kDateLookAlikes)
        order.push_back(&c);
    for (int round = 0; round < 40; round++) {
        std::shuffle(order.begin(), order.end(), rng);
        for (const RuleCase* c : order)
            ASSERT_EQ(common_verify_date(c->text), c->expected())
                << '"' << c->text << "\" round " << round;
    }
}

TEST(CommonDates, SplitVerifyAndOrderEveryWellFormedDateConsistently)
{
    std::mt19937 rng(7);
    std::uniform_int_distribution<unsigned> two(0, 99), four(0, 9999);
    for (int round = 0; round < 5000; round++) {
        const unsigned d1 = two(rng), m1 = two(rng), y1 = four(rng);
        const unsigned d2 = two(rng) % 3 ? two(rng) : d1;
        const unsigned m2 = two(rng) % 3 ? two(rng) : m1;
        const unsigned y2 = two(rng) % 3 ? four(rng) : y1;
        const std::string a = date_text(d1, m1, y1), b = date_text(d2, m2, y2);

        const date_t fields = common_date_fields(a.c_str());
        ASSERT_EQ(std::tie(fields.day, fields.month, fields.year), std::tie(d1, m1, y1)) << a;

        ASSERT_EQ(common_verify_date(a.c_str()), reference_date(d1, m1, y1)) << a;

        const auto ka = std::tie(y1, m1, d1), kb = std::tie(y2, m2, d2);
        const int want = ka < kb ? -1 : (kb < ka ? 1 : 0);
        ASSERT_EQ(common_compare_dates(a.c_str(), b.c_str()), want) << a << " vs " << b;
        ASSERT_EQ(common_compare_dates(b.c_str(), a.c_str()), -want) << b << " vs " << a;
    }
}

/* A loans file may hold more distinct dates than are remembered: asked
 * 100,000 distinct texts, then all of them again in another order, every
 * verdict is still the rule's, and the look-alikes keep theirs throughout. */
TEST(CommonVerifyDate, VerdictsHoldPastAsManyDistinctDatesAsAreRemembered)
{
    struct Asked {
        unsigned day, month, year;
    };
    std::vector<Asked> asked;
    for (unsigned n = 0; n < 100000; n++)
        asked.push_back({n % 40, n / 40 % 16, 2950 + n / 640});
    std::mt19937 rng(11);
    for (int pass = 0; pass < 2; pass++) {
        std::shuffle(asked.begin(), asked.end(), rng);
        for (size_t i = 0; i < asked.size(); i++) {
            const Asked a = asked[i];
            const std::string text = date_text(a.day, a.month, a.year);
            ASSERT_EQ(common_verify_date(text.c_str()), reference_date(a.day, a.month, a.year))
                << text << " pass " << pass;
            for (size_t c = 0; i % 5000 == 0 && c < std::size(kDateLookAlikes); c++)
                ASSERT_EQ(common_verify_date(kDateLookAlikes[c].text),
                          kDateLookAlikes[c].expected())
                    << '"' << kDateLookAlikes[c].text << "\" after " << i;
        }
    }
}

TEST(CommonDateFields, ReadsAsFarAsTheTextMatchesAndLeavesTheRestZero)
{
    const struct {
        const char* text;
        date_t want;
    } cases[] = {
        {"12/03", {12, 3, 0}},
        {"12", {12, 0, 0}},
        {"", {0, 0, 0}},
        {"ab/03/2024", {0, 0, 0}},
        {"12-03-2024", {12, 0, 0}},
        {"12/x3/2024", {12, 0, 0}},
        {"12 /03/2024", {12, 0, 0}},
        {"1/2/3", {1, 2, 3}},
        {" 7/ 8/\t9", {7, 8, 9}},
        {"+5/06/2001", {5, 6, 2001}},
        {"-1/01/2000", {UINT32_MAX, 1, 2000}},
        {"99999999999/01/2000", {UINT32_MAX, 1, 2000}},
        {"2024/03/12", {2024, 3, 12}},
        {"12/03/2024xyz", {12, 3, 2024}},
    };
    for (const auto& c : cases) {
        const date_t got = common_date_fields(c.text);
        EXPECT_EQ(std::tie(got.day, got.month, got.year),
                  std::tie(c.want.day, c.want.month, c.want.year))
            << '"' << c.text << '"';
    }
    const date_t none = common_date_fields(nullptr);
    EXPECT_EQ(none.day + none.month + none.year, 0u);
}

TEST(CommonCompareDates, GivesMinusOneWhenEitherDateIsNull)
{
    EXPECT_EQ(common_compare_dates(nullptr, "15/06/2024"), -1);
    EXPECT_EQ(common_compare_dates("15/06/2024", nullptr), -1);
    EXPECT_EQ(common_compare_dates(nullptr, nullptr), -1);
}

TEST(CommonNumbers, AcceptOnlyDecimalDigitsAndParseTheWholeSizeRange)
{
    const std::string top = std::to_string(std::numeric_limits<size_t>::max());
    std::string past = top; /* top + 1 in decimal: SIZE_MAX ends in 5 */
    past.back()++;
    const struct {
        std::string text;
        bool digits, fits;
        size_t value;
    } cases[] = {
        {"6", true, true, 6},
        {"", true, true, 0},
        {"0123456789", true, true, 123456789},
        {"000000000000000000000000000042", true, true, 42},
        {"9223372036854775808", true, true, size_t{1} << 63},
        {top, true, true, std::numeric_limits<size_t>::max()},
        {past, true, false, 0},
        {std::string(30, '9'), true, false, 0},
        {"6\n", false, false, 0},
        {" 6", false, false, 0},
        {"+6", false, false, 0},
        {"-6", false, false, 0},
        {"6a", false, false, 0},
        {"1.5", false, false, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(common_is_number(c.text.c_str()), c.digits) << '"' << c.text << '"';
        size_t number = 777;
        EXPECT_EQ(common_parse_number(c.text.c_str(), &number), c.fits) << '"' << c.text << '"';
        EXPECT_EQ(number, c.fits ? c.value : 777) << '"' << c.text << '"';
    }
}

TEST(CommonParseNumber, ReadsBackEveryPrintedValue)
{
    std::mt19937_64 rng(99);
    for (int round = 0; round < 2000; round++) {
        const size_t value = static_cast<size_t>(rng() >> (rng() % 64));
        size_t number = 0;
        ASSERT_TRUE(common_parse_number(std::to_string(value).c_str(), &number)) << value;
        ASSERT_EQ(number, value);
    }
}

/*
 * Each case runs in a child process whose standard input is a file with the
 * given text: the flush must return, and what it leaves is checked there.
 */
TEST(CommonCleanBuffer, DiscardsOneLineAndStopsAtEndOfInput)
{
    const struct {
        const char* input;
        int next;
    } cases[] = {{"abc\nrest", 'r'}, {"\nx", 'x'}, {"abc", EOF}, {"", EOF}};
    const auto path = std::filesystem::temp_directory_path() /
                      ("lendrec_stdin_" + std::to_string(std::random_device{}()));
    for (const auto& c : cases) {
        std::ofstream(path, std::ios::binary) << c.input;
        EXPECT_EXIT(
            {
                if (std::freopen(path.string().c_str(), "rb", stdin) == nullptr)
                    std::_Exit(2);
                common_clean_buffer();
                std::_Exit(std::getchar() == c.next ? 0 : 1);
            },
            testing::ExitedWithCode(0), "")
            << '"' << c.input << '"';
    }
    std::filesystem::remove(path);
}
