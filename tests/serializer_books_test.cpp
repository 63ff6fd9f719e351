/*
 * Book record files: the plain layout byte for byte, quoted texts, line
 * ends, files and fields bigger than a read block, and a table of file
 * texts, well-formed and malformed, with what each one loads.
 */
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "record_files.hpp"

using namespace lendrec_test;
using namespace std::literals;

namespace {

class BookFile : public ::testing::Test {
protected:
    TempDir dir;
    std::string path = dir.file("books.csv");
};

const std::vector<BookRow> kShelf = {
    {1, "Moby Dick", "Corvin Halstrom", "Adventure", 13, 13},
    {2, "Le Petit Prince", "Someone", "Romance", 32, 32},
    {5, "How to Draw", "Me", "Educational", 2, 2},
    {7, "Dune", "Frank Herbert", "Science Fiction", 4, 1},
};

constexpr size_t kBlock = size_t{1} << 20; /* the loader's read block */

} // namespace

TEST_F(BookFile, PlainBooksAreWrittenAsPlainLinesClosedByTheTrailerAndLoadBackInOrder)
{
    ASSERT_TRUE(save_file<Books>(path, kShelf, 8));
    EXPECT_EQ(read_file(path), record_text({"1,Moby Dick,Corvin Halstrom,Adventure,13,13",
                                            "2,Le Petit Prince,Someone,Romance,32,32",
                                            "5,How to Draw,Me,Educational,2,2",
                                            "7,Dune,Frank Herbert,Science Fiction,4,1", "8"}));
    EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{kShelf, 8}));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"books.csv"});
}

TEST_F(BookFile, ASaveReplacesALongerFileWholeAndAnEmptyListWritesOnlyTheTrailerInFullWidth)
{
    ASSERT_TRUE(save_file<Books>(path, kShelf, 8));
    ASSERT_TRUE(save_file<Books>(path, {kShelf[2]}, 6));
    EXPECT_EQ(read_file(path), record_text({"5,How to Draw,Me,Educational,2,2", "6"}));
    for (size_t last_id : {size_t{0}, size_t{42}, SIZE_MAX}) {
        ASSERT_TRUE(save_file<Books>(path, {}, last_id));
        EXPECT_EQ(read_file(path), std::to_string(last_id));
        EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{{}, last_id}));
    }
}

TEST_F(BookFile, TextsHoldingCommasQuotesOrLineBreaksAreQuotedAndLoadBackUnchanged)
{
    const std::vector<BookRow> books = {
        {1, "Guns, Germs, and Steel", "Tolkien, J.R.R.", "History", 3, 3},
        {2, "The \"Best\" Book", "\"", "a\"\"b", 1, 1},
        {3, "two\nlines", "cr\rhere", "\r\n", 1, 0},
        {4, "ending in a comma,", ",", "\n", 2, 2},
        {5, "Ça, c'est «ça»", "日本", "  blanks kept  ", 1, 1},
    };
    ASSERT_TRUE(save_file<Books>(path, books, 9));
    EXPECT_EQ(read_file(path),
              record_text({"1,\"Guns, Germs, and Steel\",\"Tolkien, J.R.R.\",History,3,3",
                           "2,\"The \"\"Best\"\" Book\",\"\"\"\",\"a\"\"\"\"b\",1,1",
                           "3,\"two\nlines\",\"cr\rhere\",\"\r\n\",1,0",
                           "4,\"ending in a comma,\",\",\",\"\n\",2,2",
                           "5,\"Ça, c'est «ça»\",日本,  blanks kept  ,1,1", "9"}));
    EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{books, 9}));
}

TEST_F(BookFile, ALoadAppendsAfterTheRecordsTheListAlreadyHolds)
{
    ASSERT_TRUE(save_file<Books>(path, {kShelf[1], kShelf[2]}, 6));
    RecordList<Books> list({kShelf[0]});
    EXPECT_EQ(serializer_load_books(path.c_str(), list.get()), 6u);
    EXPECT_EQ(list.rows(), (std::vector<BookRow>{kShelf[0], kShelf[1], kShelf[2]}));
}

/* Null arguments are refused; a file that is missing or is a directory
 * loads as an empty store. Nothing is created. */
template <typename Kind>
void expect_null_arguments_refused(const TempDir& dir, const std::string& path)
{
    RecordList<Kind> list;
    EXPECT_FALSE(Kind::save(nullptr, list.get(), 1));
    EXPECT_FALSE(Kind::save(path.c_str(), nullptr, 1));
    EXPECT_FALSE(Kind::save("", list.get(), 1));
    EXPECT_EQ(Kind::load(nullptr, list.get()), 0u);
    EXPECT_EQ(Kind::load(path.c_str(), nullptr), 0u);
    EXPECT_EQ(Kind::load(path.c_str(), list.get()), 1u);
    EXPECT_EQ(Kind::load(dir.path().string().c_str(), list.get()), 1u);
    EXPECT_TRUE(list_empty(list.get()));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{});
}

TEST_F(BookFile, NullArgumentsAreRefusedAndAMissingOrUnreadableFileIsAnEmptyStore)
{
    expect_null_arguments_refused<Books>(dir, path);
    expect_null_arguments_refused<Users>(dir, path);
    expect_null_arguments_refused<Loans>(dir, path);
}

TEST_F(BookFile, ThousandsOfBooksSpanningManyReadBlocksLoadBackInOrder)
{
    std::vector<BookRow> books;
    for (size_t i = 0; i < 40000; ++i)
        books.push_back({i, "Title, volume " + std::to_string(i), "Author " + std::to_string(i * 7),
                         i % 3 ? "Genre" : "Multi\nline", i, i / 2});
    ASSERT_TRUE(save_file<Books>(path, books, 40000));
    ASSERT_GT(read_file(path).size(), 2 * kBlock);
    EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{books, 40000}));
}

TEST_F(BookFile, FieldsOfSeveralMegabytesLoadWhole)
{
    std::string quoted, plain(5 * kBlock / 2, 'p');
    while (quoted.size() < 3 * kBlock)
        quoted += "a, \"quoted\" line\n";
    const std::vector<BookRow> books = {{1, quoted, plain, "G", 1, 1}, {2, "T", "A", "G", 2, 2}};
    ASSERT_TRUE(save_file<Books>(path, books, 3));
    EXPECT_EQ(load_file<Books>(path), (Loaded<Books>{books, 3}));
}

/* Puts `tail` so that the read block ends after its first `cut` bytes:
 * head + filler + tail, the filler being plain 'f's. */
static std::string across_block_edge(std::string_view head, std::string_view tail, size_t cut)
{
    return std::string(head) + std::string(kBlock - cut - head.size(), 'f') + std::string(tail);
}

TEST_F(BookFile, SequencesCutByTheEndOfAReadBlockReadAsWhenWhole)
{
    struct Row {
        std::string text;
        Loaded<Books> expected;
    };
    const Row rows[] = {
        {across_block_edge("1,", ",A,G,1,1\r\n2,T,A,G,2,2\r\n7", 9),
         {{{1, std::string(kBlock - 11, 'f'), "A", "G", 1, 1}, {2, "T", "A", "G", 2, 2}}, 7}},
        {across_block_edge("1,\"", "\"\"x\",A,G,1,1\n7", 1),
         {{{1, std::string(kBlock - 4, 'f') + "\"x", "A", "G", 1, 1}}, 7}},
        {across_block_edge("1,\"", "\",A,G,1,1\n7", 1),
         {{{1, std::string(kBlock - 4, 'f'), "A", "G", 1, 1}}, 7}},
        {across_block_edge("1,", ",A,G,1,1\n1234", 11),
         {{{1, std::string(kBlock - 13, 'f'), "A", "G", 1, 1}}, 1234}},
        {across_block_edge("1,", ",A,G,1,1\r", 9),
         {{{1, std::string(kBlock - 11, 'f'), "A", "G", 1, 1}}, 1}},
        {std::string(kBlock, '\n') + "1,A,G,G,1,1\n7", {{{1, "A", "G", "G", 1, 1}}, 7}},
    };
    for (const Row& row : rows) {
        write_file(path, row.text);
        EXPECT_EQ(load_file<Books>(path), row.expected)
            << "file of " << row.text.size() << " bytes";
    }
}

TEST(BookFileLoad, EachFileTextYieldsExactlyTheRecordsAndTrailerOfItsRow)
{
    const BookRow a{1, "A", "B", "C", 5, 5};
    const BookRow d{2, "D", "E", "F", 3, 1};
    TempDir dir;
    expect_loads<Books>(
        dir.file("books.csv"),
        {
            {"an empty file", "", {}, 1},
            {"only the trailer", "6", {}, 6},
            {"a trailer ended by LF", "6\n", {}, 6},
            {"a trailer ended by CR LF", "6\r\n", {}, 6},
            {"a trailer ended by CR", "6\r", {}, 6},
            {"LF line ends", "1,A,B,C,5,5\n2,D,E,F,3,1\n9", {a, d}, 9},
            {"CR LF line ends", "1,A,B,C,5,5\r\n2,D,E,F,3,1\r\n9", {a, d}, 9},
            {"mixed line ends", "1,A,B,C,5,5\r\n2,D,E,F,3,1\n9\r\n", {a, d}, 9},
            {"a byte order mark",
             "\xEF\xBB\xBF"
             "1,A,B,C,5,5\r\n9",
             {a},
             9},
            {"only a byte order mark", "\xEF\xBB\xBF", {}, 1},
            {"a byte order mark and the trailer",
             "\xEF\xBB\xBF"
             "9",
             {},
             9},
            {"no trailer", "1,A,B,C,5,5\n", {a}, 1},
            {"a last record without line end", "1,A,B,C,5,5", {a}, 1},
            {"a last record ended by CR", "1,A,B,C,5,5\r", {a}, 1},
            {"empty lines", "\n\n1,A,B,C,5,5\n\r\n\n9\n", {a}, 9},
            {"lines after the trailer", "1,A,B,C,5,5\n9\n2,D,E,F,3,1\n", {a}, 9},
            {"a second trailer", "9\n10", {}, 9},
            {"a missing field", "1,A,B,C,5\n9", {}, 9},
            {"a short line after a full one", "1,A,B,C,5,5\n2,X\n,,,,,\n9", {a}, 9},
            {"an extra field", "1,A,B,C,5,5,5\n9", {}, 9},
            {"a trailing comma", "1,A,B,C,5,5,\n9", {}, 9},
            {"an empty id", ",A,B,C,5,5\n9", {}, 9},
            {"an empty quantity", "1,A,B,C,,5\n9", {}, 9},
            {"an empty available count", "1,A,B,C,5,\n9", {}, 9},
            {"a negative id", "-1,A,B,C,5,5\n9", {}, 9},
            {"a plus sign", "+1,A,B,C,5,5\n9", {}, 9},
            {"a blank before a number", "1,A,B,C, 5,5\n9", {}, 9},
            {"a blank after a number", "1 ,A,B,C,5,5\n9", {}, 9},
            {"a hexadecimal number", "0x1,A,B,C,5,5\n9", {}, 9},
            {"a number followed by a letter", "1,A,B,C,5a,5\n9", {}, 9},
            {"a decimal point", "1,A,B,C,5.0,5\n9", {}, 9},
            {"an id beyond size_t", "18446744073709551616,A,B,C,5,5\n9", {}, 9},
            {"a count beyond size_t", "1,A,B,C,5,99999999999999999999\n9", {}, 9},
            {"the largest numbers",
             "18446744073709551615,A,B,C,18446744073709551615,18446744073709551615\n9",
             {{SIZE_MAX, "A", "B", "C", SIZE_MAX, SIZE_MAX}},
             9},
            {"zeros everywhere", "0,A,B,C,0,0\n0", {{0, "A", "B", "C", 0, 0}}, 0},
            {"leading zeros", "007,A,B,C,05,03\n009", {{7, "A", "B", "C", 5, 3}}, 9},
            {"an empty title", "1,,B,C,5,5\n9", {}, 9},
            {"an empty genre", "1,A,B,,5,5\n9", {}, 9},
            {"more available than owned", "1,A,B,C,5,9\n9", {a}, 9},
            {"quoted commas",
             "1,\"Guns, Germs, and Steel\",\"Tolkien, J.R.R.\",C,5,5\n9",
             {{1, "Guns, Germs, and Steel", "Tolkien, J.R.R.", "C", 5, 5}},
             9},
            {"doubled quotes",
             "1,\"say \"\"hi\"\"\",\"\"\"\",C,5,5\n9",
             {{1, "say \"hi\"", "\"", "C", 5, 5}},
             9},
            {"a line break inside quotes",
             "1,\"two\nlines\",B,C,5,5\n9",
             {{1, "two\nlines", "B", "C", 5, 5}},
             9},
            {"CR LF inside quotes",
             "1,\"two\r\nlines\",B,C,5,5\r\n9",
             {{1, "two\r\nlines", "B", "C", 5, 5}},
             9},
            {"quoted numbers", "\"1\",A,B,C,\"5\",\"5\"\n9", {a}, 9},
            {"a quoted empty title", "1,\"\",B,C,5,5\n9", {}, 9},
            {"text after a closing quote", "1,\"A\"x,B,C,5,5\n2,D,E,F,3,1\n9", {d}, 9},
            {"a blank after a closing quote", "1,\"A\" ,B,C,5,5\n9", {}, 9},
            {"a quote inside a plain field, taken literally",
             "1,A\"x\",B,C,5,5\n9",
             {{1, "A\"x\"", "B", "C", 5, 5}},
             9},
            {"a quote that never closes refuses only its line",
             "1,\"A,B,C,5,5\n2,D,E,F,3,1\n9",
             {d},
             9},
            {"a quote that never closes in the last field", "1,A,B,C,5,\"5", {}, 1},
            {"a quote that never closes after a good line",
             "1,A,B,C,5,5\n2,\"D,E,F,3,1\n9",
             {a},
             9},
            {"a quote closing on a later line",
             "1,\"A\n2,D\",B,C,5,5\n9",
             {{1, "A\n2,D", "B", "C", 5, 5}},
             9},
            {"a lone CR inside a plain field", "1,A\rB,B,C,5,5\n9", {}, 9},
            {"a lone CR between two whole records", "1,A,B,C,5,5\r2,D,E,F,3,1\n9", {}, 9},
            {"a CR after a closing quote", "1,\"A\"\rx,B,C,5,5\n9", {}, 9},
            {"a NUL inside a plain field", "1,A\0B,B,C,5,5\n9"sv, {}, 9},
            {"a NUL inside quotes", "1,\"A\0B\",B,C,5,5\n9"sv, {}, 9},
            {"a quoted trailer", "\"9\"\n", {}, 1},
            {"a trailer with a blank", "9 \n", {}, 1},
            {"a trailer with a sign", "+9", {}, 1},
            {"the largest trailer", "18446744073709551615", {}, SIZE_MAX},
            {"a trailer just beyond size_t", "18446744073709551616", {}, SIZE_MAX},
            {"a trailer far beyond size_t",
             "1,A,B,C,5,5\n999999999999999999999999999999\n2,D,E,F,3,1",
             {a},
             SIZE_MAX},
        });
}
