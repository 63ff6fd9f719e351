/*
 * The spreadsheet reader and writer, header matching and phone fitting of
 * the desk's import, checked below the command line.
 */
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "common.h"
#include "import_fields.hpp"
#include "spreadsheet.hpp"

namespace {

using desk::sheet::parse;
using Cells = std::vector<std::string>;

struct ReadCase {
    const char* name;
    std::string bytes;
    char delimiter;
    bool converted;
    std::vector<std::pair<std::size_t, Cells>> rows; /* line, cells */
};

TEST(SpreadsheetRead, FilesAsSpreadsheetsWriteThem)
{
    const std::vector<ReadCase> cases = {
        {"comma, LF", "a,b\n1,2\n", ',', false, {{1, {"a", "b"}}, {2, {"1", "2"}}}},
        {"semicolon, CR LF, no last line end",
         "a;b\r\n1,5;2\r\n3;4",
         ';',
         false,
         {{1, {"a", "b"}}, {2, {"1,5", "2"}}, {3, {"3", "4"}}}},
        {"tab",
         "a\tb\tc;d\n1\t2\t3\n",
         '\t',
         false,
         {{1, {"a", "b", "c;d"}}, {2, {"1", "2", "3"}}}},
        {"delimiter counted outside quotes",
         "\"a;b;c\",d,e;f\n",
         ',',
         false,
         {{1, {"a;b;c", "d", "e;f"}}}},
        {"byte order mark skipped",
         "\xEF\xBB\xBFtitle\nX\n",
         ',',
         false,
         {{1, {"title"}}, {2, {"X"}}}},
        {"quoted line breaks keep the next row's line",
         "a,b\n\"x\r\ny\",\"he said \"\"hi\"\"\"\nz,w\n",
         ',',
         false,
         {{1, {"a", "b"}}, {2, {"x\r\ny", "he said \"hi\""}}, {4, {"z", "w"}}}},
        {"blank rows skipped, lines still counted",
         "a;b\n;\n\n  ; \r\n1;2\n;;\n",
         ';',
         false,
         {{1, {"a", "b"}}, {5, {"1", "2"}}}},
        {"lone CR ends a row", "a,b\r1,2\r", ',', false, {{1, {"a", "b"}}, {2, {"1", "2"}}}},
        {"Windows-1252 converted",
         "t\xE9;\x80\x93\n",
         ';',
         true,
         {{1, {"t\xC3\xA9", "\xE2\x82\xAC\xE2\x80\x9C"}}}},
        {"overlong UTF-8 is not UTF-8", "\xC0\xAF\n", ',', true, {{1, {"\xC3\x80\xC2\xAF"}}}},
        {"valid UTF-8 kept",
         "\xC3\xA9,\xF0\x9F\x93\x96\n",
         ',',
         false,
         {{1, {"\xC3\xA9", "\xF0\x9F\x93\x96"}}}},
        {"text after a closing quote joins the cell",
         "\"a\"b,c\"d\n",
         ',',
         false,
         {{1, {"ab", "c\"d"}}}},
    };
    for (const ReadCase& c : cases) {
        SCOPED_TRACE(c.name);
        const desk::sheet::Sheet sheet = parse(c.bytes);
        EXPECT_EQ(sheet.delimiter, c.delimiter);
        EXPECT_EQ(sheet.converted_from_1252, c.converted);
        EXPECT_FALSE(sheet.unclosed_quote_line);
        ASSERT_EQ(sheet.rows(), c.rows.size());
        for (std::size_t r = 0; r < c.rows.size(); ++r) {
            EXPECT_EQ(sheet.line(r), c.rows[r].first);
            EXPECT_EQ(sheet.cells(r), c.rows[r].second);
        }
    }
}

/* Plain cells of every length up to 19, so that each delimiter and row
 * end falls at every place of the reader's eight-byte words. */
TEST(SpreadsheetRead, CellsEndAtEveryPlaceOfAWord)
{
    Cells row;
    for (std::size_t length = 0; length < 20; ++length)
        row.emplace_back(length, static_cast<char>('a' + length));
    for (const char delimiter : {',', ';', '\t'})
        for (const std::string end : {"\n", "\r\n", "\r"}) {
            std::string bytes = std::string("h") + delimiter + "h" + end;
            for (int copy = 0; copy < 2; ++copy)
                for (std::size_t c = 0; c < row.size(); ++c)
                    bytes += row[c] + (c + 1 < row.size() ? std::string(1, delimiter) : end);
            const desk::sheet::Sheet sheet = parse(bytes);
            ASSERT_EQ(sheet.rows(), 3u) << delimiter << end;
            EXPECT_EQ(sheet.cells(1), row) << delimiter << end;
            EXPECT_EQ(sheet.cells(2), row) << delimiter << end;
        }
}

TEST(SpreadsheetRead, QuoteThatNeverClosesNamesItsLine)
{
    const desk::sheet::Sheet sheet = parse("a,b\n1,2\n\"3\n4,5\n");
    EXPECT_EQ(sheet.rows(), 2u);
    EXPECT_EQ(sheet.cells(1), (Cells{"1", "2"}));
    EXPECT_EQ(sheet.unclosed_quote_line, std::optional<std::size_t>{3});
}

/* Any row of cells the writer writes reads back as the same cells, in both
 * line-end styles (--excel's shielded formulas once unshielded); only rows
 * whose cells are all blank vanish. */
TEST(SpreadsheetWrite, RowsReadBackAsWritten)
{
    /* A long piece puts the others past the writer's eight-byte steps. */
    const std::vector<std::string> pieces = {"a", "Z",  " ",        ",", "\"", "\n", "\r\n",
                                             ";", "\t", "\xC3\xA9", "",  "1",  "\r", "Eight by"};
    std::mt19937 random(14);
    for (int round = 0; round < 400; ++round) {
        const std::size_t width = 1 + random() % 4;
        std::vector<Cells> table = {Cells(width, "h")};
        for (auto rows = 1 + random() % 4; rows > 0; --rows) {
            Cells& row = table.emplace_back(width);
            for (std::string& cell : row)
                for (auto n = random() % 5; n > 0; --n)
                    cell += pieces[random() % pieces.size()];
        }
        for (bool excel : {false, true}) {
            const std::string out = desk::collected([&](desk::TextSink& sink) {
                for (const Cells& row : table)
                    desk::sheet::write_row(
                        sink, std::vector<std::string_view>(row.begin(), row.end()), {excel});
            });
            const desk::sheet::Sheet sheet = parse(out);
            std::vector<Cells> expected;
            for (const Cells& row : table)
                if (std::ranges::any_of(row, [](const std::string& cell) {
                        return cell.find_first_not_of(" \t") != std::string::npos;
                    }))
                    expected.push_back(row);
            ASSERT_EQ(sheet.rows(), expected.size()) << out;
            for (std::size_t r = 0; r < expected.size(); ++r) {
                Cells read = sheet.cells(r);
                if (excel) /* formulas come back shielded, and unshield to the same */
                    for (std::string& cell : read)
                        cell = desk::sheet::unshield(cell);
                EXPECT_EQ(read, expected[r]) << out;
            }
        }
    }
}

TEST(ImportColumns, MatchedByNameAndSynonym)
{
    struct Case {
        Cells header;
        std::vector<std::optional<std::size_t>> index;
        Cells unused;
        std::string problem;
    };
    const std::vector<Case> cases = {
        {{" Qty ", "WRITER", "Title", "ISBN", "Subject"}, {2, 1, 4, 0, std::nullopt}, {"ISBN"}, ""},
        {{"title", "author", "category", ""},
         {0, 1, 2, std::nullopt, std::nullopt},
         {"(column 4)"},
         ""},
        {{"ID", "title", "author", "genre", "copies", "available"},
         {1, 2, 3, 4, 0},
         {"available"},
         ""},
        {{"title", "genre"},
         {0, std::nullopt, 1, std::nullopt, std::nullopt},
         {},
         "no \"author\" column"},
        {{"title", "author", "writer", "genre"},
         {0, 1, 3, std::nullopt, std::nullopt},
         {},
         "columns \"author\" and \"writer\" both give the author"},
    };
    for (const Case& c : cases) {
        const auto columns =
            desk::import_fields::match_columns(c.header, desk::import_fields::book_fields());
        EXPECT_EQ(columns.problem, c.problem);
        if (c.problem.empty()) {
            EXPECT_EQ(columns.index, c.index);
        }
        EXPECT_EQ(columns.unused, c.unused);
    }
}

TEST(ImportFields, Copies)
{
    using desk::import_fields::parse_copies;
    EXPECT_EQ(parse_copies(" 12 "), std::optional<std::size_t>{12});
    EXPECT_EQ(parse_copies("0"), std::optional<std::size_t>{0});
    for (const char* bad : {"", "two", "-1", "1.0", "+3", "99999999999999999999999"})
        EXPECT_FALSE(parse_copies(bad)) << bad;
}

/* What --excel shields a spreadsheet from, and the import taking it back. */
TEST(SheetFormulas, ShieldedOnlyForExcelAndUnshieldedOnce)
{
    struct Case {
        const char* cell;
        const char* excel; /* the cell as written with --excel */
    };
    const std::vector<Case> cases = {
        {"+34 91 234 56 78", "'+34 91 234 56 78"},
        {"=SUM(A1)", "'=SUM(A1)"},
        {"-5", "'-5"},
        {"@home", "'@home"},
        {"\tx", "'\tx"},
        {"\rx", "\"'\rx\""},
        {"Dune", "Dune"},
        {"a=b", "a=b"},
        {"", "\"\""},
        {"\t ", "\"\t \""},
    };
    for (const Case& c : cases) {
        const auto written = [&c](bool for_excel) {
            return desk::collected(
                [&](desk::TextSink& sink) { desk::sheet::write_row(sink, {c.cell}, {for_excel}); });
        };
        const std::string plain = written(false), excel = written(true);
        EXPECT_EQ(excel, std::string(c.excel) + "\r\n") << c.cell;
        EXPECT_EQ(plain.find('\''), std::string::npos) << "shielded without --excel: " << c.cell;
        const desk::sheet::Sheet sheet = desk::sheet::parse(excel);
        if (sheet.rows() == 1 && std::string_view(c.cell).find('\t') == std::string_view::npos) {
            EXPECT_EQ(desk::sheet::unshield(sheet.cell(0, 0)), c.cell);
        }
    }
    EXPECT_EQ(desk::sheet::unshield("'=x"), "=x"); /* one apostrophe only, whoever wrote it */
    EXPECT_EQ(desk::sheet::unshield("''=x"), "''=x");
    EXPECT_EQ(desk::sheet::unshield("'Dune"), "'Dune");
}

/* Each phone with what each rule's build makes of it: "" for refused, the
 * typed text itself for kept, anything else for the change. */
TEST(ImportPhones, RewrittenOnlyWhenTheDigitsFit)
{
    struct Case {
        const char* typed;
        const char* pattern;
        const char* character;
    };
    const std::vector<Case> cases = {
        {"+34 91 234 56 78", "+34 91 234 56 78", "+34 91 234 56 78"},
        {"+34-91-234-56-78", "+34 91 234 56 78", "+34 91 234 56 78"},
        {"(+34) 91.234.56.78", "+34 91 234 56 78", "+34 91 234 56 78"},
        {"+34912345678", "+34 91 234 56 78", "+34912345678"},
        {" +34 91 234 56 78 ", "+34 91 234 56 78", "+34 91 234 56 78"}, /* 18 > 16 */
        {"912-345-678", "", "912 345 678"},
        {"0034 91 234 56 78", "", ""}, /* 17 characters */
        {"+34 91 234 56 7", "", "+34 91 234 56 7"},
        {"+34 91 234 56 78 ext 2", "", ""},
        {"34+91 234 56 78", "", "34+91 234 56 78"},
        {"12-34", "", ""},
        {"+1 (555) 010-9999 0000", "", ""},
    };
    const bool character = common_verify_phone("912345678");
    for (const Case& c : cases) {
        const std::string expected = character ? c.character : c.pattern;
        const auto phone = desk::import_fields::fit_phone(c.typed);
        using Verdict = desk::import_fields::Phone::Verdict;
        const Verdict verdict = expected.empty()      ? Verdict::refused
                                : expected == c.typed ? Verdict::kept
                                                      : Verdict::changed;
        EXPECT_EQ(phone.verdict, verdict) << c.typed;
        if (!expected.empty()) {
            EXPECT_EQ(phone.text, expected) << c.typed;
        }
    }
}

} // namespace
