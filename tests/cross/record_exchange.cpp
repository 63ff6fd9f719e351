/*
 * record_exchange - record files handed from one platform's build of the
 * core to the other's.
 *
 *   record_exchange write DIR   saves a fixed set of books, users and loans
 *                               as DIR/books.csv, users.csv and loans.csv
 *   record_exchange check DIR   loads those files and checks every record
 *                               and field, and each trailer
 *
 * Both builds carry the same set; running one build's write and the other
 * build's check shows that record files cross platforms intact. The exit
 * status is 0 when every save succeeded or every field matched.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

#include "cross/record_sets.hpp"
#include "record_files.hpp"

using namespace lendrec_test;

namespace {

constexpr size_t kBeyondLong = size_t{1} << 32; /* a Windows long is 32 bits */

/* Texts that need quoting, texts beyond ASCII, counts of 0 and identifiers
 * beyond a Windows long; phones that both validation rules accept. */
struct ExchangedFile {
    const char* name;
    RecordSet set;
};

const std::vector<ExchangedFile>& exchanged_files()
{
    static const std::vector<ExchangedFile> files = {
        {"books.csv",
         record_set<Books>(
             "books",
             {
                 {1, "Moby Dick", "Corvin Halstrom", "Adventure", 13, 13},
                 {2, "Cem Anos de Solidão", "Gabriel García Márquez", "Romance", 4, 1},
                 {3, "Guns, Germs, and Steel", "Diamond, Jared", "History", 2, 0},
                 {4, "The \"Best\" Book", "\"", "Humour, \"dry\"", 0, 0},
                 {6, "two\nlines", "cr\rhere", "\r\n", 1, 1},
                 {kBeyondLong + 5, "日本語の本", "  blanks kept  ", "Reference", kBeyondLong, 7},
             },
             kBeyondLong + 6)},
        {"users.csv",
         record_set<Users>("users",
                           {
                               {1, "Alice", "rua tudo", "+55 11 987 65 43"},
                               {2, "João Ninguém", "Rua das Flores, 12", "+35 12 345 67 89"},
                               {3, "Ann", "Flat 2\r\nHigh St", "+35 12 345 67 80"},
                               {kBeyondLong * 2, "O\"Brien", "1 Main St", "+01 23 456 78 90"},
                           },
                           kBeyondLong * 2 + 1)},
        {"loans.csv", record_set<Loans>("loans",
                                        {
                                            {1, 1, 2, "01/02/2024", "15/02/2024", false},
                                            {2, 2, 3, "31/12/1999", "01/01/2000", true},
                                            {kBeyondLong + 1, kBeyondLong * 2, kBeyondLong + 5,
                                             "10/01/2025", "09/02/2025", true},
                                        },
                                        kBeyondLong + 2)},
    };
    return files;
}

std::string g_dir;

std::string in_dir(const char* name)
{
    return g_dir + "/" + name;
}

} // namespace

TEST(RecordExchange, WritesTheBooksUsersAndLoansFiles)
{
    for (const ExchangedFile& f : exchanged_files()) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(f.set.save(in_dir(f.name)));
    }
}

TEST(RecordExchange, LoadsEveryBookUserAndLoanWithEveryFieldIntact)
{
    for (const ExchangedFile& f : exchanged_files()) {
        SCOPED_TRACE(f.name);
        EXPECT_TRUE(f.set.loads(in_dir(f.name)));
    }
}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    const std::string_view mode = argc == 3 ? argv[1] : "";
    if (mode != "write" && mode != "check") {
        std::fprintf(stderr, "usage: record_exchange write|check DIR\n");
        return 2;
    }
    g_dir = argv[2];
    GTEST_FLAG_SET(filter, mode == "write" ? "RecordExchange.Writes*" : "RecordExchange.Loads*");
    return RUN_ALL_TESTS();
}
