/*
 * import_test.cpp - the import's one key: a row merges into a book held
 * exactly when the desk's search, through the same fold, finds it.
 */
#include <gtest/gtest.h>

#include "import.hpp"
#include "filled_store.hpp"
#include "text.hpp"

namespace {

using namespace enginetest;

TEST(Import, MergesExactlyWhenTheFoldsAgree)
{
    const std::vector<std::pair<const char*, const char*>> pairs = {
        {"Dune", "DUNE"},
        {"\xC3\x89mile", "\xC3\xA9mile"},
        {"Stra\xC3\x9F"
         "e",
         "STRASSE"},
        {"Cafe", "Caf\xC3\xA9"},
        {"Dune", "Dune Messiah"},
        {"  Dune", "dune  "},
    };
    for (const auto& [held, typed] : pairs) {
        SCOPED_TRACE(typed);
        auto lib = desk::Library::open(
            memory_store({[held](desk::Tables& t) { add_book(t, 1, held, 1, 1); }}));
        const std::string csv = std::string("title,author,genre\n") + typed + ",anon,Novel\n";
        const desk::ImportReport report =
            desk::import_sheet(*lib, desk::ImportKind::books, desk::sheet::parse(csv), "t");
        const std::string found = desk::text::fold(desk::text::clean(typed, 300).text);
        const bool same = desk::text::fold(desk::text::clean(held, 300).text) == found;
        EXPECT_EQ(report.merged, same ? 1u : 0u) << report.text;
        EXPECT_EQ(report.added, same ? 0u : 1u) << report.text;
        if (same) {
            EXPECT_TRUE(desk::text::folded_contains(held, found)) << "merged, but search misses it";
        }
    }
}

TEST(Import, IdRowsSetCopiesAndLeaveNewRecordsAlone)
{
    auto lib = desk::Library::open(memory_store({[](desk::Tables& t) {
        add_book(t, 1, "Dune", 3, 2);
        add_user(t, 1);
        add_loan(t, 1, 1, 1);
    }}));
    /* Row 2 names no book: it is added as book 2; row 3's id 2 must not
     * then update the book row 2 just made. */
    const desk::ImportReport report = desk::import_sheet(
        *lib, desk::ImportKind::books,
        desk::sheet::parse(
            "id,title,author,genre,copies\n1,Dune,Anon,Novel,5\n7,Emma,Anon,Novel,1\n"
            "2,Edda,Anon,Novel,2\n"),
        "t");
    EXPECT_EQ(report.updated, 1u) << report.text;
    EXPECT_EQ(report.added, 2u) << report.text;
    Book dune = lib->books().find(1);
    EXPECT_EQ(book_get_quantity(dune), 5u);
    EXPECT_EQ(book_get_available(dune), 4u);
    EXPECT_STREQ(book_get_title(lib->books().find(2)), "Emma");
}

} // namespace
