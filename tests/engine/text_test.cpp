/*
 * text_test.cpp - the desk's text rules: cleaning record text, the fold key,
 * UTF-8 checks and terminal widths, one table of cases each.
 */
#include <gtest/gtest.h>

#include <cstddef>
#include <string>
#include <vector>

#include "output.hpp"
#include "text.hpp"

namespace {

using desk::text::Fault;

TEST(TextClean, TrimsNormalisesAndRefusesWhatARecordCannotHold)
{
    const struct {
        const char* input;
        std::size_t max_chars;
        const char* text;
        Fault fault;
    } cases[] = {
        {"Dune", 300, "Dune", Fault::kNone},
        {"  Dune \t", 300, "", Fault::kControl},
        {"  The  Hobbit  ", 300, "The  Hobbit", Fault::kNone},
        {"\u00A0Dune\u3000\u2003", 300, "Dune", Fault::kNone},
        {"Cafe\u0301", 300, "Caf\u00E9", Fault::kNone},
        {"E\u0301mile", 5, "\u00C9mile", Fault::kNone}, /* five characters once composed */
        {"\u00C9miles", 5, "", Fault::kTooLong},
        {"  abcde  ", 5, "abcde", Fault::kNone},
        {"\u6771\u4EAC\u90FD", 3, "\u6771\u4EAC\u90FD", Fault::kNone},
        {"", 300, "", Fault::kBlank},
        {"   ", 300, "", Fault::kBlank},
        {"\u00A0\u2003\u3000", 300, "", Fault::kBlank},
        {"a\tb", 300, "", Fault::kControl},
        {"line\n", 300, "", Fault::kControl},
        {"\r\n", 300, "", Fault::kControl},
        {"x\x7Fy", 300, "", Fault::kControl},
        {"x\u0085y", 300, "", Fault::kControl},
        {"x\u2028y", 300, "", Fault::kControl},
        {"x\u2029y", 300, "", Fault::kControl},
        {"Caf\xC3(", 300, "", Fault::kNotUtf8},
        {"\xC0\xAF", 300, "", Fault::kNotUtf8},
        {"\xFF\n", 300, "", Fault::kNotUtf8},
    };
    for (const auto& c : cases) {
        const desk::text::Clean result = desk::text::clean(c.input, c.max_chars);
        EXPECT_EQ(result.fault, c.fault) << c.input;
        EXPECT_EQ(result.text, c.text) << c.input;
    }
    /* A NUL inside the text is a control character too. */
    EXPECT_EQ(desk::text::clean(std::string("a\0b", 3), 300).fault, Fault::kControl);
}

TEST(TextFaultSentence, NamesWhatAndWhy)
{
    const struct {
        Fault fault;
        const char* sentence;
    } cases[] = {
        {Fault::kNone, ""},
        {Fault::kNotUtf8, "a title must be UTF-8 text"},
        {Fault::kControl, "a title may not hold control characters (line breaks, tabs)"},
        {Fault::kBlank, "a title may not be blank"},
        {Fault::kTooLong, "a title may be at most 300 characters"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(desk::text::fault_sentence(c.fault, "a title", 300), c.sentence);
}

TEST(TextFold, GivesOneKeyForCaseAccentsAndCompatibilityForms)
{
    const struct {
        const char* input;
        const char* key;
    } cases[] = {
        {"GARC\u00CDA", "garcia"},
        {"Garc\u00EDa", "garcia"},
        {"Garci\u0301a", "garcia"},
        {"garcia", "garcia"},
        {"\u00C9mile", "emile"},
        {"\u00E9mile", "emile"},
        {"EMILE", "emile"},
        {"Stra\u00DFe", "strasse"},
        {"STRASSE", "strasse"},
        {"No\u00CBL", "noel"},
        {"\uFB01ve", "five"},                 /* the fi ligature */
        {"\uFF24\uFF35\uFF2E\uFF25", "dune"}, /* full-width letters */
        {"\u212A", "k"},                      /* the Kelvin sign */
        {"Gar\u00ADcia", "garcia"},           /* a soft hyphen */
        {"\u03A3\u038A\u03A3\u03A5\u03A6\u039F\u03A3",
         "\u03C3\u03B9\u03C3\u03C5\u03C6\u03BF\u03C3"},
        {"\u03A3\u03AF\u03C3\u03C5\u03C6\u03BF\u03C2",
         "\u03C3\u03B9\u03C3\u03C5\u03C6\u03BF\u03C3"},
        {"\u6771\u4EAC", "\u6771\u4EAC"},
        {"  Two  Spaces ", "  two  spaces "},
        {"a\xFF"
         "B",
         "a\xFF"
         "b"}, /* bytes that are not UTF-8 stay */
        {"\xC3\x87"
         "A\xC3",
         "ca\xC3"}, /* a sequence cut short at the end */
        {"", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(desk::text::fold(c.input), c.key) << c.input;
        std::string appended = "x";
        desk::text::fold_into(appended, c.input);
        EXPECT_EQ(appended, std::string("x") + c.key) << c.input;
    }
}

TEST(TextFold, SortsAccentedInitialsWithTheirLetters)
{
    const struct {
        const char* before;
        const char* after;
    } cases[] = {
        {"\u00C1ngel", "Zorro"},
        {"\u00E9mile", "Zola"},
        {"abbey", "\u00C1ngel"},
        {"\u00D6dipus", "Pan"},
    };
    for (const auto& c : cases)
        EXPECT_LT(desk::text::fold(c.before), desk::text::fold(c.after))
            << c.before << " " << c.after;
}

TEST(TextFoldedContains, MatchesFoldedNeedlesAnywhere)
{
    const struct {
        const char* haystack;
        const char* needle;
        bool found;
    } cases[] = {
        {"Cien a\u00F1os de soledad", "ANOS", true},
        {"L'\u00C9tranger", "etr", true},
        {"Stra\u00DFenbahn", "STRASS", true},
        {"Dune", "", true},
        {"Dune", "dunes", false},
        {"Dune", "une", true},
        {"Messiah of Dune", "dune messiah", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(desk::text::folded_contains(c.haystack, desk::text::fold(c.needle)), c.found)
            << c.haystack << " / " << c.needle;
}

TEST(TextIsUtf8, RefusesMalformedSequences)
{
    const struct {
        const char* bytes;
        bool valid;
    } cases[] = {
        {"", true},
        {"plain ASCII longer than eight bytes", true},
        {"caf\u00E9", true},
        {"\u6771\u4EAC", true},
        {"\xF0\x9F\x98\x80", true},  /* an emoji */
        {"\xF4\x8F\xBF\xBF", true},  /* U+10FFFF */
        {"\xC3", false},             /* cut short */
        {"\x80", false},             /* a lone continuation byte */
        {"\xC0\x80", false},         /* overlong NUL */
        {"\xE0\x80\xAF", false},     /* overlong slash */
        {"\xED\xA0\x80", false},     /* a surrogate */
        {"\xF4\x90\x80\x80", false}, /* above U+10FFFF */
        {"\xF5\x80\x80\x80", false},
        {"abcdefgh\xFF", false},   /* after a run of eight ASCII bytes */
        {"abcdefg\xC3\xA9", true}, /* a character across the eight-byte steps */
    };
    for (const auto& c : cases)
        EXPECT_EQ(desk::text::is_utf8(c.bytes), c.valid) << testing::PrintToString(c.bytes);
}

TEST(TextDisplayWidth, CountsTerminalColumns)
{
    const struct {
        const char* text;
        std::size_t width;
    } cases[] = {
        {"", 0},
        {"Dune", 4},
        {"\u6771\u4EAC", 4},
        {"e\u0301", 1},
        {"\xF0\x9F\x98\x80", 2},
        {"\uFF24", 2},
        {"a\u200Bb", 2},
        {"a\xFF"
         "b",
         3},
        {"\u2026", 1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(desk::text::display_width(c.text), c.width) << c.text;
}

TEST(TextCutToWidth, KeepsWholeCharactersAndEndsInAnEllipsis)
{
    const struct {
        const char* text;
        std::size_t width;
        const char* cut;
    } cases[] = {
        {"Dune", 4, "Dune"},
        {"Dune", 3, "Du\u2026"},
        {"Dune", 1, "\u2026"},
        {"Dune", 0, ""},
        {"", 0, ""},
        {"\u6771\u4EAC\u90FD", 6, "\u6771\u4EAC\u90FD"},
        {"\u6771\u4EAC\u90FD", 5, "\u6771\u4EAC\u2026"},
        {"\u6771\u4EAC\u90FD", 4, "\u6771\u2026"},
        {"\u6771\u4EAC\u90FD", 2, "\u2026"},
        {"Noe\u0301l!", 4, "Noe\u0301\u2026"},
        {"e\u0301e\u0301e\u0301", 2, "e\u0301\u2026"},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 3, "\xF0\x9F\x98\x80\u2026"},
        {"a\xFF\xFF"
         "b",
         3, "a\xFF\u2026"},
    };
    for (const auto& c : cases) {
        const std::string cut = desk::text::cut_to_width(c.text, c.width);
        EXPECT_EQ(cut, c.cut) << c.text << " at " << c.width;
        EXPECT_LE(desk::text::display_width(cut), c.width) << c.text << " at " << c.width;
    }
}

TEST(TextTable, AlignsWideAndCombiningTextByColumns)
{
    const struct {
        std::vector<std::string> row;
        std::size_t max_width;
        const char* rendered;
    } cases[] = {
        {{"\u6771\u4EAC", "1"},
         0,
         "Title  Copies\n\u6771\u4EAC"
         "        1\n"},
        {{"Noe\u0308l", "12"},
         0,
         "Title  Copies\nNoe\u0308l"
         "       12\n"},
        {{"\xF0\x9F\x98\x80 party", "3"},
         0,
         "Title     Copies\n\xF0\x9F\x98\x80 party"
         "       3\n"},
        {{"\u6771\u4EAC\u6771\u4EAC\u6771\u4EAC", "4"},
         16,
         "Title     Copies\n\u6771\u4EAC\u6771\u2026"
         "        4\n"},
    };
    for (const auto& c : cases) {
        desk::Table table({"Title", ">Copies"});
        table.add(c.row);
        EXPECT_EQ(table.render(c.max_width), c.rendered) << c.row[0];
    }
}

} // namespace
