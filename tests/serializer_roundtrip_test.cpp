/*
 * Property: any list of books, users or loans saved and loaded back gives
 * the same records, field by field and in order, and the same trailer.
 * Texts mix commas, quotes, CR, LF, UTF-8 and long runs; identifiers and
 * counts cover the whole size_t range; phones and dates are random valid
 * ones under the rule in force.
 */
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "record_files.hpp"
#include "rule.hpp"

using namespace lendrec_test;

namespace {

class Random {
public:
    explicit Random(uint64_t seed) : gen_(seed) {}

    size_t below(size_t n) { return std::uniform_int_distribution<size_t>(0, n - 1)(gen_); }

    /* Edge values a quarter of the time, any size_t a half, small ones the rest. */
    size_t number()
    {
        static constexpr std::array<size_t, 10> edges = {
            0, 1, 9, 10, 99, 0x7fffffff, 0x80000000, 0x100000000, SIZE_MAX - 1, SIZE_MAX};
        const size_t quarter = below(4);
        return quarter == 0   ? edges[below(edges.size())]
               : quarter == 1 ? below(1000)
                              : std::uniform_int_distribution<size_t>(0, SIZE_MAX)(gen_);
    }

    size_t at_most(size_t n) { return std::uniform_int_distribution<size_t>(0, n)(gen_); }

    /* A non-empty text; one in twenty runs past 5000 characters. */
    std::string text()
    {
        static constexpr std::array<const char*, 16> pieces = {",",
                                                               "\"",
                                                               "\r",
                                                               "\n",
                                                               "\r\n",
                                                               " ",
                                                               "ç",
                                                               "€",
                                                               "日本",
                                                               "\xF0\x9F\x93\x9A",
                                                               "\xEF\xBB\xBF",
                                                               "\t",
                                                               "0",
                                                               "x",
                                                               "Moby",
                                                               "Dick"};
        const size_t length = below(20) == 0 ? 5000 : 1 + below(12);
        std::string out;
        while (out.size() < length) {
            out += below(3) == 0 ? std::string(1, static_cast<char>('a' + below(26)))
                                 : std::string(pieces[below(pieces.size())]);
        }
        return out;
    }

    std::string phone()
    {
        std::string out;
        if (kCharacterRule) {
            const size_t length = 8 + below(9); /* 8 to 16: what a Phone holds */
            while (out.size() < length)
                out += "0123456789+ "[below(12)];
        } else {
            for (char c : std::string("+DD DD DDD DD DD"))
                out += c == 'D' ? static_cast<char>('0' + below(10)) : c;
        }
        return out;
    }

    /* Two different valid dates, the earlier first. */
    std::pair<std::string, std::string> dates()
    {
        auto one = [this] {
            return std::array<size_t, 3>{below(3000), 1 + below(12), 1 + below(31)};
        };
        auto a = one(), b = one();
        while (a == b)
            b = one();
        if (b < a)
            std::swap(a, b);
        return {format(a), format(b)};
    }

private:
    static std::string format(const std::array<size_t, 3>& ymd)
    {
        char text[16];
        std::snprintf(text, sizeof text, "%02zu/%02zu/%04zu", ymd[2], ymd[1], ymd[0]);
        return text;
    }

    std::mt19937_64 gen_;
};

BookRow random_row(Random& r, Books)
{
    const size_t quantity = r.number();
    return {r.number(), r.text(), r.text(), r.text(), quantity, r.at_most(quantity)};
}

UserRow random_row(Random& r, Users)
{
    return {r.number(), r.text(), r.text(), r.phone()};
}

LoanRow random_row(Random& r, Loans)
{
    auto [date, return_date] = r.dates();
    return {r.number(), r.number(), r.number(), date, return_date, r.below(2) == 1};
}

template <typename Kind>
void check_round_trips(uint64_t seed)
{
    Random random(seed);
    TempDir dir;
    const std::string path = dir.file("records.csv");
    for (int round = 0; round < 40; ++round) {
        std::vector<typename Kind::Row> rows(random.below(25));
        for (auto& row : rows)
            row = random_row(random, Kind{});
        const size_t last_id = random.number();
        SCOPED_TRACE("seed " + std::to_string(seed) + ", round " + std::to_string(round));
        ASSERT_TRUE(save_file<Kind>(path, rows, last_id));
        ASSERT_EQ(load_file<Kind>(path), (Loaded<Kind>{rows, last_id}));
    }
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"records.csv"});
}

} // namespace

TEST(RecordFileProperty, RandomBooksUsersAndLoansSaveAndLoadBackEqualInOrderWithTheirTrailer)
{
    check_round_trips<Books>(0x5eed0001);
    check_round_trips<Users>(0x5eed0002);
    check_round_trips<Loans>(0x5eed0003);
}
