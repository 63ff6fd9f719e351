/*
 * User and loan record files: their lines byte for byte, quoted names and
 * addresses, phones and dates validated on load under the rule in force,
 * CR LF files, the returned flag, and tables of malformed lines.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record_files.hpp"
#include "rule.hpp"

using namespace lendrec_test;
using namespace std::literals;

namespace {

/* Accepted by both rules; kLoosePhone only by the character rule. */
constexpr const char* kPhone = "+35 12 345 67 89";
constexpr const char* kLoosePhone = "253562453";

class RecordFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("records.csv");
};

} // namespace

TEST_F(RecordFile, UsersAreWrittenOneLineEachWithTextsQuotedOnlyWhenNeeded)
{
    const std::vector<UserRow> users = {
        {1, "Alice", "rua tudo", kPhone},
        {2, "Silva, Ana", "Rua A, 12\nApt 3", kPhone},
        {SIZE_MAX, "O \"Rei\"", "Av. Brasil", kPhone},
    };
    ASSERT_TRUE(save_file<Users>(path, users, 4));
    EXPECT_EQ(read_file(path),
              record_text({"1,Alice,rua tudo,+35 12 345 67 89",
                           "2,\"Silva, Ana\",\"Rua A, 12\nApt 3\",+35 12 345 67 89",
                           "18446744073709551615,\"O \"\"Rei\"\"\",Av. Brasil,"
                           "+35 12 345 67 89",
                           "4"}));
    EXPECT_EQ(load_file<Users>(path), (Loaded<Users>{users, 4}));
}

TEST_F(RecordFile, AUserFileWithCrLfLineEndsKeepsItsPhonesWithoutCr)
{
    const std::string lf = "1,Alice,rua tudo,+35 12 345 67 89\n2,Bob,Rua B,253562453\n3\n";
    std::vector<UserRow> expected = {{1, "Alice", "rua tudo", kPhone}};
    if (kCharacterRule)
        expected.push_back({2, "Bob", "Rua B", kLoosePhone});
    for (const std::string& text : {lf, with_crlf(lf), "\xEF\xBB\xBF" + with_crlf(lf)}) {
        write_file(path, text);
        EXPECT_EQ(load_file<Users>(path), (Loaded<Users>{expected, 3}));
    }
}

TEST_F(RecordFile, EachUserFileTextYieldsExactlyTheUsersAndTrailerOfItsRow)
{
    const UserRow alice{1, "Alice", "rua tudo", kPhone};
    expect_loads<Users>(
        path,
        {
            {"a plain line", "1,Alice,rua tudo,+35 12 345 67 89\n7", {alice}, 7},
            {"a quoted phone", "1,Alice,rua tudo,\"+35 12 345 67 89\"\r\n7", {alice}, 7},
            {"a quoted name and address",
             "1,\"Silva, Ana\",\"Rua \"\"A\"\"\n12\",+35 12 345 67 89\n7",
             {{1, "Silva, Ana", "Rua \"A\"\n12", kPhone}},
             7},
            {"a missing field", "1,Alice,+35 12 345 67 89\n7", {}, 7},
            {"an extra field", "1,Alice,rua,tudo,+35 12 345 67 89\n7", {}, 7},
            {"a short line after a full one",
             "1,Alice,rua tudo,+35 12 345 67 89\n2,Bob\n7",
             {alice},
             7},
            {"an empty id", ",Alice,rua tudo,+35 12 345 67 89\n7", {}, 7},
            {"a negative id", "-1,Alice,rua tudo,+35 12 345 67 89\n7", {}, 7},
            {"an empty name", "1,,rua tudo,+35 12 345 67 89\n7", {}, 7},
            {"an empty address", "1,Alice,,+35 12 345 67 89\n7", {}, 7},
            {"an empty phone", "1,Alice,rua tudo,\n7", {}, 7},
            {"letters in the phone", "1,Alice,rua tudo,+35 12 345 67 8x\n7", {}, 7},
            {"a phone longer than a Phone holds", "1,Alice,rua tudo,+35 12 345 67 890\n7", {}, 7},
            {"a CR kept inside a quoted phone",
             "1,Alice,rua tudo,\"+35 12 345 67 89\r\"\n7",
             {},
             7},
            {"a comma inside a quoted phone", "1,Alice,rua tudo,\"+35 12,345 67 89\"\n7", {}, 7},
            {"a phone only the character rule accepts", "2,Bob,Rua B,253562453\r\n7",
             kCharacterRule ? std::vector<UserRow>{{2, "Bob", "Rua B", kLoosePhone}}
                            : std::vector<UserRow>{},
             7},
            {"a quote that never closes refuses only its line",
             "1,\"Alice,rua tudo,+35 12 345 67 89\n7",
             {},
             7},
            {"a phone whose quote never closes", "1,Alice,rua tudo,\"+35 12 345 67 89", {}, 1},
        });
}

TEST_F(RecordFile, LoansAreWrittenWithTheirDatesAndAReturnedFlag)
{
    const std::vector<LoanRow> loans = {
        {1, 2, 3, "01/02/2020", "15/02/2020", false},
        {2, SIZE_MAX, 0, "30/12/2999", "31/12/2999", true},
    };
    ASSERT_TRUE(save_file<Loans>(path, loans, 3));
    EXPECT_EQ(read_file(path),
              record_text({"1,2,3,01/02/2020,15/02/2020,0",
                           "2,18446744073709551615,0,30/12/2999,31/12/2999,1", "3"}));
    EXPECT_EQ(load_file<Loans>(path), (Loaded<Loans>{loans, 3}));
}

TEST_F(RecordFile, EachLoanFileTextYieldsExactlyTheLoansAndTrailerOfItsRow)
{
    const LoanRow open{1, 2, 3, "01/02/2020", "15/02/2020", false};
    LoanRow returned = open;
    returned.returned = true;
    expect_loads<Loans>(
        path,
        {
            {"an open loan", "1,2,3,01/02/2020,15/02/2020,0\n4", {open}, 4},
            {"a returned loan", "1,2,3,01/02/2020,15/02/2020,1\n4", {returned}, 4},
            {"CR LF line ends", "1,2,3,01/02/2020,15/02/2020,1\r\n4\r\n", {returned}, 4},
            {"all zeros is open", "1,2,3,01/02/2020,15/02/2020,000\n4", {open}, 4},
            {"any other digits are returned", "1,2,3,01/02/2020,15/02/2020,2\n4", {returned}, 4},
            {"zeros then a one", "1,2,3,01/02/2020,15/02/2020,0001\n4", {returned}, 4},
            {"a flag beyond size_t",
             "1,2,3,01/02/2020,15/02/2020,99999999999999999999999\n4",
             {returned},
             4},
            {"an empty flag", "1,2,3,01/02/2020,15/02/2020,\n4", {}, 4},
            {"a word for a flag", "1,2,3,01/02/2020,15/02/2020,true\n4", {}, 4},
            {"a negative flag", "1,2,3,01/02/2020,15/02/2020,-1\n4", {}, 4},
            {"a blank before the flag", "1,2,3,01/02/2020,15/02/2020, 1\n4", {}, 4},
            {"a blank after the flag", "1,2,3,01/02/2020,15/02/2020,1 \n4", {}, 4},
            {"the largest identifiers",
             "18446744073709551615,18446744073709551615,18446744073709551615,01/02/2020,15/02/"
             "2020,0\n4",
             {{SIZE_MAX, SIZE_MAX, SIZE_MAX, "01/02/2020", "15/02/2020", false}},
             4},
            {"a user id beyond size_t",
             "1,18446744073709551616,3,01/02/2020,15/02/2020,0\n4",
             {},
             4},
            {"an empty book id", "1,2,,01/02/2020,15/02/2020,0\n4", {}, 4},
            {"a return date equal to the date", "1,2,3,01/02/2020,01/02/2020,0\n4", {}, 4},
            {"a return date before the date", "1,2,3,15/02/2020,01/02/2020,0\n4", {}, 4},
            {"a date in another shape", "1,2,3,2020-02-01,15/02/2020,0\n4", {}, 4},
            {"a day beyond 31", "1,2,3,32/01/2020,15/02/2020,0\n4", {}, 4},
            {"an empty return date", "1,2,3,01/02/2020,,0\n4", {}, 4},
            {"a missing field", "1,2,3,01/02/2020,15/02/2020\n4", {}, 4},
            {"an extra field", "1,2,3,01/02/2020,15/02/2020,0,0\n4", {}, 4},
            {"a short line after a full one", "1,2,3,01/02/2020,15/02/2020,0\n5,6\n4", {open}, 4},
            {"quoted dates", "1,2,3,\"01/02/2020\",\"15/02/2020\",0\n4", {open}, 4},
            {"a NUL inside a date", "1,2,3,01/02/2020\0,15/02/2020,0\n4"sv, {}, 4},
        });
}
