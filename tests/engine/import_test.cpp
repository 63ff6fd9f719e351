/*
 * import_test.cpp - the import's one key: a row merges into a book held
 * exactly when the desk's search, through the same fold, finds it.
 */
#include <gtest/gtest.h>

#include <tuple>
#include <vector>

#include "failure.hpp"
#include "import.hpp"
#include "memory_store.hpp"
#include "text.hpp"

namespace desk {
namespace {

/* A library of one book (and with `lent`, one copy out to Ann). */
std::unique_ptr<Library> library_of(const char* title, std::size_t copies, bool lent)
{
    auto store = std::make_unique<test::MemoryStore>();
    store->books = {{1, title, "Anon", "Novel", copies, lent ? copies - 1 : copies}};
    store->users = {{1, "Ann Lee", "1 Main St", "+34 91 234 56 78"}};
    if (lent)
        store->loans = {{1, 1, 1, "01/01/2026", "29/01/2026", false}};
    return Library::open(std::move(store));
}

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
        auto lib = library_of(held, 1, false);
        const std::string csv = std::string("title,author,genre\n") + typed + ",anon,Novel\n";
        const ImportReport report = import_sheet(*lib, ImportKind::books, sheet::parse(csv), "t");
        const std::string found = text::fold(text::clean(typed, 300).text);
        const bool same = text::fold(text::clean(held, 300).text) == found;
        EXPECT_EQ(report.merged, same ? 1u : 0u) << report.text;
        EXPECT_EQ(report.added, same ? 0u : 1u) << report.text;
        if (same) {
            EXPECT_TRUE(text::folded_contains(held, found)) << "merged, but search misses it";
        }
    }
}

/* Rows with an id set that book's copies; rows without one merge by title
 * and author as the library holds them after the rows above. */
TEST(Import, IdRowsSetCopiesAndMergesFollowTheNewTitles)
{
    const struct {
        bool lent; /* one copy of "Dune" (book 1, 3 copies) is out */
        const char* sheet;
        std::size_t updated, added, merged;
        std::vector<std::tuple<std::size_t, std::size_t, std::size_t>>
            books; /* id, copies, shelf */
    } cases[] = {
        /* Row 2 names no book: it is added as book 2; row 3's id 2 must
         * not then update the book row 2 just made. */
        {true,
         "id,title,author,genre,copies\n1,Dune,Anon,Novel,5\n7,Emma,Anon,Novel,1\n"
         "2,Edda,Anon,Novel,2\n",
         1,
         2,
         0,
         {{1, 5, 4}, {2, 1, 1}}},
        /* Once book 1 is "Dune Messiah", "Dune" is a new book. */
        {false,
         "id,title,author,genre,copies\n1,Dune Messiah,Anon,Novel,3\n"
         ",Dune,Anon,Novel,1\n,DUNE MESSIAH,anon,Novel,2\n,dune,ANON,Novel,1\n",
         1,
         1,
         2,
         {{1, 5, 5}, {2, 2, 2}}},
    };
    for (const auto& c : cases) {
        auto lib = library_of("Dune", 3, c.lent);
        const ImportReport report =
            import_sheet(*lib, ImportKind::books, sheet::parse(c.sheet), "t");
        EXPECT_EQ(std::tuple(report.updated, report.added, report.merged),
                  std::tuple(c.updated, c.added, c.merged))
            << report.text;
        for (const auto& [id, copies, shelf] : c.books) {
            Book book = lib->books().find(id);
            ASSERT_NE(book, nullptr) << id;
            EXPECT_EQ(std::pair(book_get_quantity(book), book_get_available(book)),
                      std::pair(copies, shelf))
                << report.text << "book " << id;
        }
    }
}

TEST(Import, TellsEveryRowInTheSheetsOrder)
{
    /* A row is read before the row above it is applied; what each row
     * tells, on reading or applying, still comes out in the sheet's order. */
    const std::vector<std::tuple<ImportKind, const char*, const char*>> cases = {
        {ImportKind::books,
         "id,title,author,genre,copies\n,Dune,anon,Novel,1\n,,Anon,Novel,1\n"
         "9,Emma,Anon,Novel,two\n9,Emma,Anon,Novel,1\n,DUNE,Anon,Novel,2\n",
         "t:2: merged into book 1 \"Dune\": 1 more copy\n"
         "t:3: a title may not be blank\n"
         "t:4: copies is not a whole number: \"two\"\n"
         "t:5: no book 9 in the library: added as book 2\n"
         "t:6: merged into book 1 \"Dune\": 2 more copies\n"},
        {ImportKind::users,
         "name,address,phone\nAnn Lee,1 Main St,+34 91 234 56 78\n,1 Main St,+34 91 234 56 78\n"
         "ann lee,2 High St,+34 91 234 56 78\n",
         "t:2: user 1 \"Ann Lee\" already there\n"
         "t:3: a name may not be blank\n"
         "t:4: user 1 \"Ann Lee\" updated\n"},
    };
    for (const auto& [kind, csv, told] : cases) {
        auto lib = library_of("Dune", 3, false);
        EXPECT_EQ(import_sheet(*lib, kind, sheet::parse(csv), "t").text, told);
    }
}

} // namespace
} // namespace desk

namespace desk {
namespace {

TEST(Import, IsCommittedWholeOrNotAtAll)
{
    struct Case {
        std::size_t refused;
        bool fatal, skip_bad;
        const char* refusal; /* "": may be committed */
    };
    const Case cases[] = {
        {0, false, false, ""},
        {2, false, true, ""},
        {1, false, false, "nothing imported: 1 row refused; skip them"},
        {0, true, false, "nothing imported: 0 rows refused"},
        {3, true, true, "nothing imported: 3 rows refused"},
    };
    for (const Case& c : cases) {
        ImportReport report;
        report.refused = c.refused;
        report.fatal = c.fatal;
        std::string told;
        try {
            refuse_partial_import(report, c.skip_bad, "; skip them");
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.status(), kRefused);
            told = failure.what();
        }
        EXPECT_EQ(told, c.refusal) << c.refused << " refused, fatal " << c.fatal;
    }
}

} // namespace
} // namespace desk
