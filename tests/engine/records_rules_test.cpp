/*
 * records_rules_test.cpp - the catalogue, members and circulation rules
 * over a small library in memory, case tables driven by one loop each.
 */
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "catalogue.hpp"
#include "circulation.hpp"
#include "failure.hpp"
#include "members.hpp"
#include "memory_store.hpp"
#include "rules.hpp"
#include "search.hpp"
#include "text.hpp"
#include "views.hpp"

namespace desk {
namespace {

Day day(const char* text)
{
    return *parse_date(text);
}

/* Four books, four users and six loans: book 1 all out (loans 1 and 5),
 * book 2 out to Bob, overdue (loan 2); books 3 and 4 each named by a
 * returned loan; loan 6 names a book and a user that are gone. */
std::unique_ptr<test::MemoryStore> small_store()
{
    auto store = std::make_unique<test::MemoryStore>();
    store->books = {{1, "Dune", "Frank Herbert", "SF", 2, 0},
                    {2, "Emma", "Jane Austen", "Novel", 1, 0},
                    {3, "\u00c1ngel", "Jos\u00e9 Garc\u00eda", "Novel", 1, 1},
                    {4, "Zorro", "Ana garcia", "novel", 3, 3}};
    store->users = {{1, "Ann Lee", "1 Main St", "+34 91 234 56 78"},
                    {2, "Bob Ray", "2 Kings Rd", "+34 93 111 22 33"},
                    {3, "Cy Young", "3 Elm St", "+34 91 000 00 00"},
                    {4, "Di Fox", "4 Oak Rd", "+34 91 555 55 55"}};
    store->loans = {
        {1, 1, 1, "10/01/2026", "07/02/2026", false}, {2, 2, 2, "04/12/2025", "01/01/2026", false},
        {3, 1, 3, "01/12/2025", "29/12/2025", true},  {4, 3, 4, "01/12/2025", "29/12/2025", true},
        {5, 2, 1, "01/11/2025", "29/11/2025", false}, {6, 9, 9, "01/10/2025", "29/10/2025", true}};
    return store;
}

std::unique_ptr<Library> small_library()
{
    return Library::open(small_store());
}

TEST(Catalogue, RefusesTextThatCannotEnterARecord)
{
    struct Case {
        std::string title, genre;
        text::Fault fault;
        const char* what;
        std::size_t max;
    };
    const std::vector<Case> cases = {
        {"   ", "SF", text::Fault::kBlank, "a title", rules::kMaxText},
        {"Dune\tMessiah", "SF", text::Fault::kControl, "a title", rules::kMaxText},
        {std::string(100000, 'x'), "SF", text::Fault::kTooLong, "a title", rules::kMaxText},
        {"Dune", std::string(rules::kMaxGenre + 1, 'g'), text::Fault::kTooLong, "a genre",
         rules::kMaxGenre},
    };
    for (const Case& c : cases) {
        auto lib = small_library();
        std::string sentence = text::fault_sentence(c.fault, c.what, c.max);
        for (auto run : {std::function<void()>([&] {
                             add_book(*lib, {c.title, "Anon", c.genre, 1});
                         }),
                         std::function<void()>([&] {
                             edit_book(*lib, 4, {c.title, {}, c.genre, {}});
                         })}) {
            try {
                run();
                ADD_FAILURE() << c.title.substr(0, 20) << ": taken";
            } catch (const Failure& failure) {
                EXPECT_EQ(failure.status(), kRefused);
                EXPECT_EQ(failure.what(), sentence);
            }
        }
        EXPECT_EQ(lib->books().all().size(), 4u);
        EXPECT_STREQ(book_get_title(lib->books().find(4)), "Zorro");
    }
}

TEST(Circulation, LendsReturnsAndRenews)
{
    auto lib = small_library();
    Borrow loan = checkout(*lib, 4, 3, day("15/01/2026"), {});
    EXPECT_EQ(borrow_get_id(loan), 7u);
    EXPECT_STREQ(borrow_get_return_date(loan), "12/02/2026");
    EXPECT_EQ(book_get_available(lib->books().find(4)), 2u);
    EXPECT_EQ(format_date(renew(*lib, 7, day("20/01/2026"), {.days = 7})), "19/02/2026");
    Returned back = give_back(*lib, 4, 3, day("22/02/2026"));
    EXPECT_EQ(back.loan, loan);
    EXPECT_TRUE(back.shelved);
    EXPECT_EQ(back.days_late, 3);
    EXPECT_EQ(book_get_available(lib->books().find(4)), 3u);
    EXPECT_TRUE(lib->open_loans_of_user(3).empty());
}

TEST(Circulation, TakesABookBackWithoutItsMemberOnlyWhenOneLoanIsOut)
{
    struct Case {
        std::size_t book;
        std::size_t loan; /* 0: refused */
        const char* refusal;
        Cause cause;
    };
    const Case cases[] = {
        {2, 2, "", Cause::other},
        {1, 0, "book 1 has 2 loans out; pick the member first", Cause::other},
        {4, 0, "book 4 has no loan out", Cause::other},
        {99, 0, "no book 99", Cause::no_such_record},
    };
    for (const Case& c : cases) {
        auto lib = small_library();
        const std::size_t open_before = lib->open_loans().size();
        try {
            const Returned back = give_back_book(*lib, c.book, day("20/01/2026"));
            EXPECT_EQ(borrow_get_id(back.loan), c.loan) << c.book;
            EXPECT_EQ(lib->open_loans().size(), open_before - 1) << c.book;
        } catch (const Failure& failure) {
            EXPECT_EQ(c.loan, 0u) << c.book << ": " << failure.what();
            EXPECT_STREQ(failure.what(), c.refusal);
            EXPECT_EQ(failure.cause(), c.cause) << c.book;
            EXPECT_EQ(lib->open_loans().size(), open_before) << c.book;
        }
    }
}

TEST(Circulation, OverdueListsOldestDueFirst)
{
    auto lib = small_library();
    std::vector<OverdueLoan> late = overdue(*lib, day("15/01/2026"));
    ASSERT_EQ(late.size(), 2u);
    EXPECT_EQ(borrow_get_id(late[0].loan), 5u);
    EXPECT_EQ(late[0].days, 47);
    EXPECT_EQ(borrow_get_id(late[1].loan), 2u);
    EXPECT_EQ(late[1].days, 14);
    EXPECT_TRUE(overdue(*lib, day("29/11/2025")).empty());
}

TEST(Catalogue, AnUnreadFileIsNotAMissingRecord)
{
    struct Case {
        bool missing;
        Status status;
        std::string sentence;
    };
    const std::string unread = Tables().books.name() + ": cannot read: Input/output error";
    for (const Case& c : {Case{false, kWrite, unread}, Case{true, kRefused, "no book 233"}}) {
        auto store = small_store();
        store->book_load = {
            {{0, SERIALIZER_NOT_READ,
              c.missing ? "the file is missing" : "cannot read: Input/output error"}},
            c.missing};
        auto lib = Library::open(std::move(store));
        EXPECT_NE(find_book(*lib, 1), nullptr);
        try {
            find_book(*lib, 233);
            ADD_FAILURE() << "found";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.status(), c.status);
            EXPECT_EQ(failure.what(), c.sentence);
        }
    }
}

std::vector<std::size_t> ids(const std::vector<Book>& books)
{
    std::vector<std::size_t> out;
    for (Book book : books)
        out.push_back(book_get_id(book));
    return out;
}

TEST(Catalogue, ListsByFoldedSearchGenreShelfAndOrder)
{
    auto lib = small_library();
    struct Case {
        BookFilter filter;
        std::vector<std::size_t> expected;
    };
    const std::vector<Case> cases = {
        {{"HERBERT", "", false, BookOrder::id}, {1}},
        {{"GARCIA", "", false, BookOrder::id}, {3, 4}},
        {{"", "NOVEL", false, BookOrder::author}, {4, 2, 3}},
        {{"", "", true, BookOrder::id}, {3, 4}},
        {{"austen", "novel", false, BookOrder::id}, {2}},
        {{"garc\u00eda", "", false, BookOrder::id}, {3, 4}},
        {{"", "", false, BookOrder::title}, {3, 1, 2, 4}}, /* Ángel before Dune */
    };
    for (const Case& c : cases)
        EXPECT_EQ(ids(list_books(*lib, c.filter)), c.expected) << c.filter.search;
    auto shuffled = small_store(); /* a file edited out of identifier order */
    std::swap(shuffled->books[0], shuffled->books[3]);
    EXPECT_EQ(ids(list_books(*Library::open(std::move(shuffled)), {})),
              (std::vector<std::size_t>{1, 2, 3, 4}));
}

TEST(Members, ListsByFoldedSearchAndPhoneDigits)
{
    auto lib = small_library();
    struct Case {
        std::string search;
        std::size_t count;
    };
    for (const Case& c : std::vector<Case>{
             {"", 4}, {"KINGS", 1}, {"91 234", 1}, {"34911", 0}, {"3493111", 1}, {"1 Main", 1}})
        EXPECT_EQ(list_users(*lib, c.search).size(), c.count) << c.search;
}

TEST(Search, WordsAreRunsOfLettersAndDigitsOfTheFoldedText)
{
    using Words = std::vector<std::string>;
    const struct {
        const char* text;
        Words words;
    } cases[] = {
        {"  Garc\u00eda-M\u00c1RQUEZ  ", {"garcia", "marquez"}},
        {"l'\u00e9t\u00e9 1984", {"l", "ete", "1984"}},
        {"\uff24\uff55\uff4e\uff45 II", {"dune", "ii"}}, /* full-width letters */
        {"\u6771\u4eac\u30bf\u30ef\u30fc",
         {"\u6771\u4eac\u30bf\u30ef\u30fc"}}, /* no spaces: one word */
        {"x\xFFy\u2014z", {"x", "y", "z"}},   /* a byte that is not UTF-8, a dash */
        {" \u2014 ?! ", {}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(search_words(c.text), c.words) << c.text;
}

TEST(Library, OpenedWithSomeTablesReadsOnlyThoseAndSavesNothing)
{
    auto lib =
        Library::open(small_store(), Kinds::only({fileset::Kind::users, fileset::Kind::loans}));
    EXPECT_TRUE(lib->books().all().empty());
    EXPECT_EQ(lib->open_loans_of_user(2).size(), 2u);
    EXPECT_EQ(lib->suspects(), nullptr); /* loans naming books not read are no fault */
    edit_user(*lib, 2, {std::string("Bob Roy"), std::nullopt, std::nullopt});
    try {
        lib->commit();
        ADD_FAILURE() << "a library without its books committed";
    } catch (const Failure& failure) {
        EXPECT_EQ(failure.status(), kWrite);
    }
}

TEST(Views, LoanViewOfMissingRecordsHasNulls)
{
    auto lib = small_library();
    nlohmann::json gone = LoanView::of(*lib, find_loan(*lib, 6), day("15/01/2026")).to_json();
    EXPECT_TRUE(gone["title"].is_null());
    EXPECT_TRUE(gone["name"].is_null());
    EXPECT_EQ(gone["returned"], true);
    EXPECT_EQ(gone["days_overdue"], 0);
    nlohmann::json late = LoanView::of(*lib, find_loan(*lib, 2), day("15/01/2026")).to_json();
    EXPECT_EQ(late["title"], "Emma");
    EXPECT_EQ(late["days_overdue"], 14);
    EXPECT_EQ(UserView::of(*lib, find_user(*lib, 2)).to_json()["open_loans"], 2);
}

} // namespace
} // namespace desk
