/*
 * text_test.cpp - the desk's text rules: cleaning record text, the fold key,
 * UTF-8 checks and terminal widths, one table of cases each.
 */
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "output.hpp"
#include "text.hpp"

namespace {

using desk::text::Fault;

TEST(TextClean, TrimsNormalisesAndRefusesWhatARecordCannotHold)
{
    const struct {
        std::string input;
        std::size_t max_chars;
        const char* text;
        Fault fault;
    } cases[] = {
        {"  The  Hobbit  ", 300, "The  Hobbit", Fault::kNone},
        {"\u00A0Dune\u3000", 300, "Dune", Fault::kNone},
        {"E\u0301mile", 5, "\u00C9mile", Fault::kNone}, /* five characters once composed */
        {"\u00C9miles", 5, "", Fault::kTooLong},
        {"\u00A0\u2003 ", 300, "", Fault::kBlank},
        {"", 300, "", Fault::kBlank},
        {"  Dune \t", 300, "", Fault::kControl},
        {std::string("a\0b", 3), 300, "", Fault::kControl},
        {"x\u0085y", 300, "", Fault::kControl},
        {"x\u2028y", 300, "", Fault::kControl},
        {"Caf\xC3(", 300, "", Fault::kNotUtf8},
        {"\xFF\n", 300, "", Fault::kNotUtf8}, /* not UTF-8 is told before the control */
    };
    for (const auto& c : cases) {
        const desk::text::Clean result = desk::text::clean(c.input, c.max_chars);
        EXPECT_EQ(result.fault, c.fault) << c.input;
        EXPECT_EQ(result.text, c.text) << c.input;
    }
}

TEST(TextFold, GivesOneKeyThatSearchesAndSortsAsAReaderExpects)
{
    const struct {
        const char* input;
        const char* key;
    } cases[] = {
        {"GARC\u00CDA", "garcia"},
        {"Garci\u0301a", "garcia"},
        {"Stra\u00DFe", "strasse"},
        {"\uFB01ve", "five"},                 /* the fi ligature */
        {"\uFF24\uFF35\uFF2E\uFF25", "dune"}, /* full-width letters */
        {"Gar\u00ADcia", "garcia"},           /* a soft hyphen */
        {"\u03A3\u03AF\u03C3\u03C5\u03C6\u03BF\u03C2",
         "\u03C3\u03B9\u03C3\u03C5\u03C6\u03BF\u03C3"},
        {"  Two  Spaces ", "  two  spaces "},
        {"a\xFF"
         "B",
         "a\xFF"
         "b"}, /* bytes that are not UTF-8 stay */
    };
    for (const auto& c : cases) {
        std::string appended = "x";
        desk::text::fold_into(appended, c.input);
        EXPECT_EQ(desk::text::fold(c.input), c.key) << c.input;
        EXPECT_EQ(appended, std::string("x") + c.key) << c.input;
    }
    EXPECT_LT(desk::text::fold("\u00C1ngel"), desk::text::fold("Zorro"));
    EXPECT_LT(desk::text::fold("abbey"), desk::text::fold("\u00C1ngel"));
    EXPECT_TRUE(desk::text::folded_contains("Cien a\u00F1os", desk::text::fold("ANOS")));
    EXPECT_TRUE(desk::text::folded_contains("Dune", ""));
    EXPECT_FALSE(desk::text::folded_contains("Dune", "dunes"));
}

/* next_word walks a text forwards and starts_word looks back from one
 * place: both must see a word start at the same places, whatever letters,
 * marks of punctuation or stray bytes lie before. */
TEST(TextWords, StartWhereNextWordFindsThem)
{
    const std::string texts[] = {
        "l'\u00e9t\u00e9 1984",
        "\u0434\u043e\u0441\u0442\u043e\u0435\u0432", /* Cyrillic, two bytes a letter */
        "a\u2014b \u6771\u4eac",                      /* a dash, then Han letters */
        "\U0001D538x \U0001F600smile",                /* a letter and a symbol of four bytes */
        "\u00e9\xA9te",                               /* a stray continuation byte */
        "x\xA9\xA9\xA9\xA9te \xE2\x82smile",          /* many; a sequence cut short */
    };
    for (const std::string& text : texts) {
        std::vector<bool> starts(text.size() + 1, false);
        for (desk::text::WordSpan word = desk::text::next_word(text, 0); word.begin < text.size();
             word = desk::text::next_word(text, word.end))
            starts[word.begin] = true;
        for (std::size_t at = 0; at <= text.size(); ++at)
            EXPECT_EQ(desk::text::starts_word(text, at), starts[at]) << text << " at " << at;
    }
}

/* ASCII is folded and checked eight bytes at a time: every byte, at every
 * place of a word and of a last, short word, folds as the C locale lowers
 * it and is a control character to clean() exactly when it is C0 or DEL. */
TEST(TextAscii, EveryByteAtEveryPlaceOfAWord)
{
    for (std::size_t place = 0; place < 17; ++place)
        for (int byte = 0; byte < 0x80; ++byte) {
            std::string text(place + 2, 'X');
            text[place] = static_cast<char>(byte);
            std::string lowered = text;
            for (char& c : lowered)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            EXPECT_EQ(desk::text::fold(text), lowered) << byte << " at " << place;
            const bool control = byte < 0x20 || byte == 0x7F;
            EXPECT_EQ(desk::text::clean(text, 300).fault, control ? Fault::kControl : Fault::kNone)
                << byte << " at " << place;
        }
}

TEST(TextIsUtf8, RefusesMalformedSequences)
{
    const struct {
        const char* bytes;
        bool valid;
    } cases[] = {
        {"plain ASCII longer than eight bytes", true},
        {"\xF4\x8F\xBF\xBF", true},  /* U+10FFFF */
        {"abcdefg\xC3\xA9", true},   /* a character across the eight-byte steps */
        {"\xC3", false},             /* cut short */
        {"\x80", false},             /* a lone continuation byte */
        {"\xE0\x80\xAF", false},     /* overlong slash */
        {"\xED\xA0\x80", false},     /* a surrogate */
        {"\xF4\x90\x80\x80", false}, /* above U+10FFFF */
        {"abcdefgh\xFF", false},     /* after a run of eight ASCII bytes */
    };
    for (const auto& c : cases) {
        EXPECT_EQ(desk::text::is_utf8(std::string_view(c.bytes)), c.valid)
            << testing::PrintToString(c.bytes);
        EXPECT_EQ(desk::text::is_utf8(c.bytes), c.valid) << "NUL-ended: " << c.bytes;
    }
}

TEST(TextWidth, CountsColumnsAndCutsWholeCharacters)
{
    const struct {
        const char* text;
        std::size_t width, cut_at;
        const char* cut;
    } cases[] = {
        {"Dune", 4, 3, "Du\u2026"},
        {"Dune", 4, 0, ""},
        {"\u6771\u4EAC\u90FD", 6, 5, "\u6771\u4EAC\u2026"},
        {"\u6771\u4EAC\u90FD", 6, 2, "\u2026"},
        {"Noe\u0301l!", 5, 4, "Noe\u0301\u2026"},
        {"\xF0\x9F\x98\x80\xF0\x9F\x98\x80", 4, 3, "\xF0\x9F\x98\x80\u2026"},
        {"a\u200Bb", 2, 2, "a\u200Bb"},
        {"a\xFF\xFF"
         "b",
         4, 3, "a\xFF\u2026"},
    };
    for (const auto& c : cases) {
        const std::string cut = desk::text::cut_to_width(c.text, c.cut_at);
        EXPECT_EQ(desk::text::display_width(c.text), c.width) << c.text;
        EXPECT_LE(c.width, std::strlen(c.text)) << "wider than its bytes: " << c.text;
        EXPECT_EQ(cut, c.cut) << c.text << " at " << c.cut_at;
    }
}

TEST(TextTable, AlignsWideAndCombiningTextByColumns)
{
    const struct {
        std::vector<std::string> cells; /* rows of a title and copies */
        std::size_t max_width;
        const char* rendered;
    } cases[] = {
        {{"Noe\u0308l", "12"}, 0, "Title  Copies\nNoe\u0308l       12\n"},
        {{"\xF0\x9F\x98\x80 party", "3"}, 0, "Title     Copies\n\xF0\x9F\x98\x80 party       3\n"},
        {{"\u6771\u4EAC\u6771\u4EAC\u6771\u4EAC", "4"},
         16,
         "Title     Copies\n\u6771\u4EAC\u6771\u2026        4\n"},
        /* the widest cells come last, and widen rows written before them */
        {{"Dune", "1", "A longer title", "1200"},
         0,
         "Title           Copies\nDune                 1\nA longer title    1200\n"},
    };
    for (const auto& c : cases) {
        const auto rows = [&c](desk::Table& table) {
            for (std::size_t i = 0; i + 1 < c.cells.size(); i += 2)
                table.add({c.cells[i], c.cells[i + 1]});
        };
        EXPECT_EQ(desk::Table({"Title", ">Copies"}).render(c.max_width, rows), c.rendered)
            << c.cells[0];
    }
}

} // namespace

TEST(TextDecimal, WritesEveryWholeNumberAsToStringDoes)
{
    for (std::size_t n : {std::size_t{0}, std::size_t{9}, std::size_t{10}, std::size_t{4242},
                          std::size_t{SIZE_MAX}})
        EXPECT_EQ(desk::Decimal(n).view(), std::to_string(n));
    for (long n : {0L, 7L, -1L, -4200L, LONG_MAX, LONG_MIN})
        EXPECT_EQ(desk::Decimal(n).view(), std::to_string(n));
}
