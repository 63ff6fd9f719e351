/*
 * Reporting loaders: one table of malformed files run against books, users
 * and loans, each row with the records it loads and the problems told (line,
 * kind, cause); the plain loader giving the same list on every row and on
 * random texts; and files that exist but cannot be read whole.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "record_files.hpp"
#include "rule.hpp"

#ifdef __linux__
#include <sys/syscall.h>
#include <unistd.h>
#endif

using namespace lendrec_test;
using namespace std::literals;

namespace {

/* One problem as a ProblemFunction was told it. */
struct Told {
    size_t line;
    serializer_problem_t kind;
    std::string cause;
    bool operator==(const Told&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Told& t)
{
    return os << "{line " << t.line << ", kind " << static_cast<int>(t.kind) << ", \"" << t.cause
              << "\"}";
}

void collect(size_t line, serializer_problem_t kind, const char* cause, void* args)
{
    static_cast<std::vector<Told>*>(args)->push_back({line, kind, cause});
}

/* Per kind: two good records written after their id ("@a", "@b" in a
 * row's text) and the rows they load as. */
template <typename Kind>
struct Sample;

template <>
struct Sample<Books> {
    static constexpr std::string_view a = ",A,B,C,5,5", b = ",D,E,F,3,1";
    static BookRow row(size_t id, char which)
    {
        return which == 'a' ? BookRow{id, "A", "B", "C", 5, 5} : BookRow{id, "D", "E", "F", 3, 1};
    }
};

template <>
struct Sample<Users> {
    static constexpr std::string_view a = ",Alice,rua tudo,+35 12 345 67 89",
                                      b = ",Bob,rua nada,+35 98 765 43 21";
    static UserRow row(size_t id, char which)
    {
        return which == 'a' ? UserRow{id, "Alice", "rua tudo", "+35 12 345 67 89"}
                            : UserRow{id, "Bob", "rua nada", "+35 98 765 43 21"};
    }
};

template <>
struct Sample<Loans> {
    static constexpr std::string_view a = ",2,3,01/02/2020,15/02/2020,0",
                                      b = ",4,5,01/03/2021,02/03/2021,1";
    static LoanRow row(size_t id, char which)
    {
        return which == 'a' ? LoanRow{id, 2, 3, "01/02/2020", "15/02/2020", false}
                            : LoanRow{id, 4, 5, "01/03/2021", "02/03/2021", true};
    }
};

/* What a reporting load gave: the load itself and what it told. */
template <typename Kind>
struct Reported {
    Loaded<Kind> loaded;
    std::vector<Told> told;
};

template <typename Kind>
Reported<Kind> load_reporting(const std::string& path)
{
    RecordList<Kind> list;
    std::vector<Told> told;
    size_t last_id = Kind::kind.load_reporting(path.c_str(), list.get(), collect, &told);
    return {{list.rows(), last_id}, told};
}

std::string replace_all(std::string text, std::string_view from, std::string_view to)
{
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

constexpr auto R = SERIALIZER_REFUSED;
constexpr auto C = SERIALIZER_CHANGED;
constexpr auto I = SERIALIZER_IGNORED;

const std::string kNoTrailer = "no trailer line: the next identifier is unknown";

/* A row of the malformed-file table. `kinds` holds B, U and L for the kinds
 * it runs against. In the text "@a"/"@b" stand for a good record's fields
 * after its id; `records` lists (id, a or b) loaded; in a cause "%N" is the
 * kind's field count and "%M" one more. */
struct Case {
    const char* kinds;
    const char* what;
    std::string_view text;
    std::vector<std::pair<size_t, char>> records;
    size_t last_id;
    std::vector<Told> told;
};

const std::vector<Case> kCases = {
    {"BUL", "a clean file", "1@a\n2@b\n9", {{1, 'a'}, {2, 'b'}}, 9, {}},
    {"BUL",
     "a clean file with CR LF line ends",
     "1@a\r\n2@b\r\n9\r\n",
     {{1, 'a'}, {2, 'b'}},
     9,
     {}},
    {"BUL", "an empty file", "", {}, 1, {{1, R, kNoTrailer}}},
    {"BUL", "only a byte order mark", "\xEF\xBB\xBF", {}, 1, {{1, R, kNoTrailer}}},
    {"BUL", "no trailer after a line end", "1@a\n", {{1, 'a'}}, 1, {{2, R, kNoTrailer}}},
    {"BUL", "no trailer, no last line end", "1@a", {{1, 'a'}}, 1, {{2, R, kNoTrailer}}},
    {"BUL", "no trailer, a last CR", "1@a\r", {{1, 'a'}}, 1, {{2, R, kNoTrailer}}},
    {"BUL", "empty lines are skipped silently", "\n\n1@a\n\r\n\n9\n", {{1, 'a'}}, 9, {}},
    {"BUL", "line ends after the trailer", "1@a\n9\n\r\n\n", {{1, 'a'}}, 9, {}},
    {"BUL",
     "text after the trailer, told once",
     "1@a\n9\n\r\n\n2@b\n3@b",
     {{1, 'a'}},
     9,
     {{5, I, "text after the trailer line is ignored"}}},
    {"BUL",
     "a blank after the trailer line",
     "9\n ",
     {},
     9,
     {{2, I, "text after the trailer line is ignored"}}},
    {"BUL",
     "text after a closing quote",
     "\"1\"x@a\n2@b\n9",
     {{2, 'b'}},
     9,
     {{1, R, "text after a closing quote"}}},
    {"BUL",
     "a stray CR",
     "1@a\n2\r2@b\n3@b\n9",
     {{1, 'a'}, {3, 'b'}},
     9,
     {{2, R, "a stray CR outside quotes"}}},
    {"BUL", "a NUL in a plain field", "1\0@a\n2@b\n9"sv, {{2, 'b'}}, 9, {{1, R, "a NUL byte"}}},
    {"BUL", "a NUL inside quotes", "\"1\0\"@a\n9"sv, {}, 9, {{1, R, "a NUL byte"}}},
    {"BUL",
     "the first fault of a line is told",
     "1\r\0@a\n9"sv,
     {},
     9,
     {{1, R, "a stray CR outside quotes"}}},
    {"BUL",
     "a quote that never closes refuses only its line",
     "1@a\n\"2@b\n3@b\n9",
     {{1, 'a'}, {3, 'b'}},
     9,
     {{2, R, "quote never closed"}}},
    {"BUL",
     "a quote that never closes on the last line",
     "1@a\n\"2@b",
     {{1, 'a'}},
     1,
     {{2, R, "quote never closed"}, {3, R, kNoTrailer}}},
    {"BUL",
     "lines counted through quoted line breaks",
     "\"\n1\"@a\n2\r3@b\n\"3\"@b\r\n\"4\n5\"@a\n6,\"x\n7@b\n9",
     {{3, 'b'}, {7, 'b'}},
     9,
     {{1, R, "field 1 (id) is not a whole number"},
      {3, R, "a stray CR outside quotes"},
      {5, R, "field 1 (id) is not a whole number"},
      {7, R, "quote never closed"}}},
    {"BUL",
     "a byte order mark does not shift the lines",
     "\xEF\xBB\xBF"
     "1@a\nx@b\n9",
     {{1, 'a'}},
     9,
     {{2, R, "field 1 (id) is not a whole number"}}},
    {"BUL",
     "an extra field",
     "1@a,x\n2@b\n9",
     {{2, 'b'}},
     9,
     {{1, R, "expected %N fields, found %M"}}},
    {"BUL", "a short line", "1,x\n9", {}, 9, {{1, R, "expected %N fields, found 2"}}},
    {"BUL",
     "a quoted trailer",
     "\"9\"\n",
     {},
     1,
     {{1, R, "expected %N fields, found 1"}, {2, R, kNoTrailer}}},
    {"BUL", "an empty id", "@a\n9", {}, 9, {{1, R, "field 1 (id) is not a whole number"}}},
    {"BUL",
     "an id beyond size_t",
     "18446744073709551616@a\n9",
     {},
     9,
     {{1, R, "field 1 (id) is too large"}}},
    {"BUL",
     "a trailer beyond size_t",
     "1@a\n18446744073709551616",
     {{1, 'a'}},
     SIZE_MAX,
     {{2, R, "the trailer is too large (a number beyond size_t)"}}},
    {"BUL", "the largest trailer", "1@a\n18446744073709551615", {{1, 'a'}}, SIZE_MAX, {}},
    {"B",
     "a quantity that is not a number",
     "1,A,B,C,5x,5\n9",
     {},
     9,
     {{1, R, "field 5 (quantity) is not a whole number"}}},
    {"B", "an empty genre", "1,A,B,,5,5\n9", {}, 9, {{1, R, "field 4 (genre) is empty"}}},
    {"B",
     "the first faulty field is told",
     "1,,B,C,x,5\n9",
     {},
     9,
     {{1, R, "field 2 (title) is empty"}}},
    {"B",
     "more available than owned",
     "1,A,B,C,5,9\n9",
     {{1, 'a'}},
     9,
     {{1, C, "field 6 (available) is above the quantity: lowered to the quantity"}}},
    {"U",
     "an empty address",
     "1,Alice,,+35 12 345 67 89\n9",
     {},
     9,
     {{1, R, "field 3 (address) is empty"}}},
    {"U",
     "a phone of the wrong shape",
     "1,Alice,rua tudo,12\n9",
     {},
     9,
     {{1, R, "field 4 (phone) is not a valid phone number"}}},
    {"L",
     "a book id that is not a number",
     "1,2,x,01/02/2020,15/02/2020,0\n9",
     {},
     9,
     {{1, R, "field 3 (book_id) is not a whole number"}}},
    {"L",
     "a loan date that is not a date",
     "1,2,3,01/13/2020,15/02/2020,0\n9",
     {},
     9,
     {{1, R, "field 4 (date) is not a valid date"}}},
    {"L",
     "a return date that is not a date",
     "1,2,3,01/02/2020,2020-02-15,0\n9",
     {},
     9,
     {{1, R, "field 5 (return_date) is not a valid date"}}},
    {"L",
     "a return before the loan",
     "1,2,3,15/02/2020,01/02/2020,0\n9",
     {},
     9,
     {{1, R, "return date is not after the loan date"}}},
    {"L",
     "a returned flag that is not digits",
     "1,2,3,01/02/2020,15/02/2020,yes\n9",
     {},
     9,
     {{1, R, "field 6 (returned) is not a whole number"}}},
};

/* The row's text with the kind's records in place of "@a" and "@b". */
template <typename Kind>
std::string file_text(std::string_view text)
{
    return replace_all(replace_all(std::string(text), "@a", Sample<Kind>::a), "@b",
                       Sample<Kind>::b);
}

/* Runs every row meant for the kind (letter B, U or L): the reporting load
 * gives the row's records, trailer and problems, and the plain load gives
 * the same records and trailer. */
template <typename Kind>
void expect_cases(char letter, const std::string& path)
{
    const size_t fields =
        static_cast<size_t>(std::count(Sample<Kind>::a.begin(), Sample<Kind>::a.end(), ',')) + 1;
    for (const Case& row : kCases) {
        if (std::strchr(row.kinds, letter) == nullptr)
            continue;
        write_file(path, file_text<Kind>(row.text));
        Loaded<Kind> expected{{}, row.last_id};
        for (auto [id, which] : row.records)
            expected.rows.push_back(Sample<Kind>::row(id, which));
        std::vector<Told> told = row.told;
        for (Told& t : told)
            t.cause = replace_all(replace_all(t.cause, "%N", std::to_string(fields)), "%M",
                                  std::to_string(fields + 1));
        const Reported<Kind> got = load_reporting<Kind>(path);
        EXPECT_EQ(got.loaded, expected) << letter << ": " << row.what;
        EXPECT_EQ(got.told, told) << letter << ": " << row.what;
        EXPECT_EQ(load_file<Kind>(path), got.loaded) << letter << ": " << row.what << " (plain)";
    }
}

} // namespace

TEST(ReportingLoad, EachMalformedFileLoadsItsRecordsAndTellsEachProblemAtItsLine)
{
    TempDir dir;
    expect_cases<Books>('B', dir.file("books.csv"));
    expect_cases<Users>('U', dir.file("users.csv"));
    expect_cases<Loans>('L', dir.file("loans.csv"));
}

TEST(ReportingLoad, APhoneTooLongForTheRecordIsToldByTheRuleThatRefusesIt)
{
    TempDir dir;
    const std::string path = dir.file("users.csv");
    write_file(path, "1,Alice,rua tudo,+351 234 567 890 12\n9");
    const std::string cause = kCharacterRule ? "field 4 (phone) is longer than 16 characters"
                                             : "field 4 (phone) is not a valid phone number";
    EXPECT_EQ(load_reporting<Users>(path).told, (std::vector<Told>{{1, R, cause}}));
}

/* A quote opened near the start of a file bigger than one read block:
 * reading goes back to the next line and every later record loads. */
TEST(ReportingLoad, AQuoteThatNeverClosesFarFromTheEndRefusesOnlyItsLine)
{
    TempDir dir;
    const std::string path = dir.file("books.csv");
    std::string text = "1,A,B,C,5,5\n2,\"D,E,F,3,1\n";
    Loaded<Books> expected{{Sample<Books>::row(1, 'a')}, 123456};
    for (size_t id = 3; text.size() < 3 * (size_t{1} << 20); ++id) {
        text += std::to_string(id) + ",A,B,C,5,5\n";
        expected.rows.push_back(Sample<Books>::row(id, 'a'));
    }
    write_file(path, text + "123456");
    const Reported<Books> got = load_reporting<Books>(path);
    EXPECT_EQ(got.loaded, expected);
    EXPECT_EQ(got.told, (std::vector<Told>{{2, R, "quote never closed"}}));
}

/* Random texts from the bytes that matter to the parser: the plain loader
 * and the reporting one give the same list and trailer, problems come in
 * file order, and every line told lies within the file. */
TEST(ReportingLoad, PlainAndReportingLoadsAgreeOnRandomTexts)
{
    TempDir dir;
    const std::string path = dir.file("books.csv");
    const std::string_view pieces[] = {"1",    "5",  "A",    ",", ",A,B,C,5,5",   "\"",        "\n",
                                       "\r\n", "\r", "\0"sv, "9", "\xEF\xBB\xBF", ",A,B,C,5,9"};
    std::mt19937 random(20240601);
    for (int round = 0; round < 400; ++round) {
        std::string text;
        for (size_t n = random() % 40; n > 0; --n)
            text += pieces[random() % std::size(pieces)];
        write_file(path, text);
        const Reported<Books> got = load_reporting<Books>(path);
        const size_t lines = static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) + 2;
        EXPECT_EQ(load_file<Books>(path), got.loaded) << ::testing::PrintToString(text);
        for (size_t i = 0; i < got.told.size(); ++i) {
            EXPECT_TRUE(got.told[i].line >= 1 && got.told[i].line <= lines)
                << ::testing::PrintToString(text) << " told " << got.told[i];
            if (i > 0) {
                EXPECT_LE(got.told[i - 1].line, got.told[i].line) << ::testing::PrintToString(text);
            }
        }
    }
}

TEST(ReportingLoad, AMissingFileTellsNothingAndADirectoryInItsPlaceIsNotRead)
{
    TempDir dir;
    const Reported<Books> missing = load_reporting<Books>(dir.file("none.csv"));
    EXPECT_EQ(missing.loaded, (Loaded<Books>{{}, 1}));
    EXPECT_EQ(missing.told, std::vector<Told>{});

    const Reported<Books> directory = load_reporting<Books>(dir.path().string());
    EXPECT_EQ(directory.loaded, (Loaded<Books>{{}, 1}));
    ASSERT_EQ(directory.told.size(), 1u);
    EXPECT_EQ(directory.told[0].line, 0u);
    EXPECT_EQ(directory.told[0].kind, SERIALIZER_NOT_READ);
#ifndef _WIN32
    EXPECT_EQ(directory.told[0].cause, std::strerror(EISDIR));
#endif
}

TEST(ReportingLoad, AFileThatCannotBeOpenedIsNotReadAndLoadsAsAnEmptyStore)
{
#ifdef _WIN32
    GTEST_SKIP() << "POSIX permissions and forked children";
#else
    TempDir dir;
    const std::string path = dir.file("books.csv");
    write_file(path, "1,A,B,C,5,5\n9");
    fs::permissions(path, fs::perms::none);
    const int status = run_in_child([&] {
        if (running_as_root() && !drop_to_nobody())
            return kCannotDrop;
        const Reported<Books> got = load_reporting<Books>(path);
        const std::vector<Told> told = {{0, SERIALIZER_NOT_READ, std::strerror(EACCES)}};
        return got.loaded == Loaded<Books>{{}, 1} && got.told == told ? 0 : 1;
    });
    if (exited_with(status, kCannotDrop))
        GTEST_SKIP() << "running as root and cannot become nobody";
    EXPECT_TRUE(exited_with(status, 0)) << "wait status " << status;
#endif
}

#ifdef __linux__

namespace {

/* Bytes that reads may still deliver before they fail with EIO; negative
 * while no fault is armed. The record-file loader reads through read(2), so
 * this definition stands in for the C library's in this test program. */
long g_read_budget = -1;

} // namespace

extern "C" ssize_t read(int fd, void* buffer, size_t count)
{
    if (g_read_budget < 0)
        return static_cast<ssize_t>(syscall(SYS_read, fd, buffer, count));
    if (g_read_budget == 0) {
        errno = EIO;
        return -1;
    }
    const size_t allowed = std::min(count, static_cast<size_t>(g_read_budget));
    const auto got = static_cast<ssize_t>(syscall(SYS_read, fd, buffer, allowed));
    if (got > 0)
        g_read_budget -= got;
    return got;
}

TEST(ReportingLoad, AReadErrorPartWayIsToldAndDropsTheRecordItCut)
{
    TempDir dir;
    const std::string path = dir.file("books.csv");
    const std::string text = "1,A,B,C,5,5\n2,D,E,F,3,1\n9";
    write_file(path, text);
    g_read_budget = static_cast<long>(text.find('\n') + 4); /* a short read, then EIO */
    const Reported<Books> reported = load_reporting<Books>(path);
    g_read_budget = static_cast<long>(text.find('\n') + 4);
    const Loaded<Books> plain = load_file<Books>(path);
    g_read_budget = -1;

    const Loaded<Books> expected{{Sample<Books>::row(1, 'a')}, 1};
    EXPECT_EQ(reported.loaded, expected);
    EXPECT_EQ(reported.told, (std::vector<Told>{{0, SERIALIZER_NOT_READ, std::strerror(EIO)}}));
    EXPECT_EQ(plain, expected);
}

#endif /* __linux__ */
