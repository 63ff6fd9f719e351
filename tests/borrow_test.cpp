/*
 * The loan record: construction, the loan date always strictly before the
 * return date, returning once, and readers that accept a null loan.
 */
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <type_traits>

#include "borrow.h"
#include "rule.hpp"

namespace {

struct BorrowRelease {
    void operator()(Borrow borrow) const { borrow_delete(borrow); }
};
using OwnedBorrow = std::unique_ptr<std::remove_pointer_t<Borrow>, BorrowRelease>;

OwnedBorrow make_loan(const char* date = "10/01/2024", const char* return_date = "09/02/2024")
{
    return OwnedBorrow(borrow_new(3, 5, 8, date, return_date));
}

const char* show(const char* text)
{
    return text != nullptr ? text : "(null)";
}

} // namespace

TEST(BorrowNew, KeepsItsIdentifiersAndCopiesOfItsDates)
{
    char date[] = "10/01/2024";
    char return_date[] = "09/02/2024";
    OwnedBorrow loan(borrow_new(3, 5, 8, date, return_date));
    ASSERT_NE(loan, nullptr);
    std::strcpy(date, "01/01/2000");
    std::strcpy(return_date, "01/01/2000");
    EXPECT_EQ(borrow_get_id(loan.get()), 3u);
    EXPECT_EQ(borrow_get_user_id(loan.get()), 5u);
    EXPECT_EQ(borrow_get_book_id(loan.get()), 8u);
    EXPECT_STREQ(borrow_get_date(loan.get()), "10/01/2024");
    EXPECT_STREQ(borrow_get_return_date(loan.get()), "09/02/2024");
    EXPECT_FALSE(borrow_has_returned(loan.get()));
    borrow_deleter(loan.release());
}

TEST(BorrowNew, NeedsTwoValidDatesWithTheReturnStrictlyLater)
{
    const struct {
        const char *date, *return_date;
        bool pattern, character;
    } cases[] = {
        {"10/01/2024", "09/02/2024", true, true},   {"31/12/2023", "01/01/2024", true, true},
        {"10/01/2024", "11/01/2024", true, true},   {"10/01/2024", "10/01/2024", false, false},
        {"10/01/2024", "09/01/2024", false, false}, {"10/02/2024", "09/02/2023", false, false},
        {"2024-01-10", "09/02/2024", false, false}, {"10/01/2024", "2024-02-09", false, false},
        {"32/01/2024", "09/02/2024", false, false}, {nullptr, "09/02/2024", false, false},
        {"10/01/2024", nullptr, false, false},      {"00/00/0000", "01/01/2024", true, false},
        {"01/01/2024", "00/02/2024", true, false},
    };
    for (const auto& c : cases) {
        const bool want = kCharacterRule ? c.character : c.pattern;
        EXPECT_EQ(make_loan(c.date, c.return_date) != nullptr, want)
            << show(c.date) << " -> " << show(c.return_date);
    }
}

TEST(BorrowNullLoan, ReadsAsZeroNullOrFalseAndRefusesEveryChange)
{
    EXPECT_EQ(borrow_get_id(nullptr), 0u);
    EXPECT_EQ(borrow_get_user_id(nullptr), 0u);
    EXPECT_EQ(borrow_get_book_id(nullptr), 0u);
    EXPECT_EQ(borrow_get_date(nullptr), nullptr);
    EXPECT_EQ(borrow_get_return_date(nullptr), nullptr);
    EXPECT_FALSE(borrow_has_returned(nullptr));
    EXPECT_FALSE(borrow_set_date(nullptr, "01/01/2024"));
    EXPECT_FALSE(borrow_set_return_date(nullptr, "01/01/2024"));
    EXPECT_FALSE(borrow_return(nullptr));
    borrow_delete(nullptr);
    borrow_deleter(nullptr);
}

TEST(BorrowReturn, SucceedsOnceAndIsRefusedAfterwards)
{
    OwnedBorrow loan = make_loan();
    ASSERT_NE(loan, nullptr);
    EXPECT_TRUE(borrow_return(loan.get()));
    EXPECT_FALSE(borrow_return(loan.get()));
    EXPECT_TRUE(borrow_has_returned(loan.get()));
}

TEST(BorrowSetters, LeaveTheOldDatesWhenTheTextIsRefusedAndTakeADateSetFromItself)
{
    OwnedBorrow loan = make_loan();
    ASSERT_NE(loan, nullptr);
    EXPECT_TRUE(borrow_set_return_date(loan.get(), borrow_get_return_date(loan.get())));
    EXPECT_TRUE(borrow_set_date(loan.get(), borrow_get_date(loan.get())));
    EXPECT_FALSE(borrow_set_date(loan.get(), "09/02/2024")) << "the loan date on the return date";
    EXPECT_FALSE(borrow_set_return_date(loan.get(), "10/01/2024"))
        << "the return date on the loan date";
    for (const char* bad : {static_cast<const char*>(nullptr), "", "1/01/2024", "2024-01-05",
                            "01/13/2024", "01/01/2024 "}) {
        EXPECT_FALSE(borrow_set_date(loan.get(), bad)) << show(bad);
        EXPECT_FALSE(borrow_set_return_date(loan.get(), bad)) << show(bad);
    }
    EXPECT_STREQ(borrow_get_date(loan.get()), "10/01/2024");
    EXPECT_STREQ(borrow_get_return_date(loan.get()), "09/02/2024");
}

/* Random loan and return dates, each set on its own: accepted exactly when
 * the loan date stays strictly before the return date. */
TEST(BorrowSetters, NeverLetTheReturnDateFallOnOrBeforeTheLoanDate)
{
    std::mt19937 rng(11);
    /* A narrow range, so that equal dates come up often. */
    std::uniform_int_distribution<unsigned> day(1, 4), month(1, 3), year(2023, 2025);
    auto random_date = [&] {
        char text[16];
        std::snprintf(text, sizeof text, "%02u/%02u/%04u", day(rng), month(rng), year(rng));
        return std::string(text);
    };
    OwnedBorrow loan = make_loan("01/01/2023", "01/01/2024");
    ASSERT_NE(loan, nullptr);
    Borrow b = loan.get();
    for (int round = 0; round < 5000; round++) {
        const std::string before_date = borrow_get_date(b);
        const std::string before_return = borrow_get_return_date(b);
        const std::string date = random_date();
        const bool date_side = rng() % 2 == 0;
        const bool ok =
            date_side ? borrow_set_date(b, date.c_str()) : borrow_set_return_date(b, date.c_str());
        const int order = date_side ? common_compare_dates(date.c_str(), before_return.c_str())
                                    : common_compare_dates(date.c_str(), before_date.c_str());
        ASSERT_EQ(ok, order == (date_side ? -1 : 1)) << date;
        ASSERT_EQ(borrow_get_date(b), ok && date_side ? date : before_date);
        ASSERT_EQ(borrow_get_return_date(b), ok && !date_side ? date : before_return);
        ASSERT_EQ(common_compare_dates(borrow_get_return_date(b), borrow_get_date(b)), 1);
    }
}
