/*
 * checks_test.cpp - the library's findings, repairs and the refusal of
 * change, over libraries made in memory.
 */
#include <gtest/gtest.h>

#include "checks.hpp"
#include "failure.hpp"
#include "memory_store.hpp"

namespace desk {
namespace {

const test::UserRow kAnn{1, "Ann Lee", "1 Main St", "+34 91 234 56 78"};

struct Case {
    const char* name;
    std::vector<test::BookRow> books;
    std::vector<test::LoanRow> loans;
    std::vector<Problem> book_problems;
    std::vector<std::string> found; /* check's messages, in order */
    std::vector<std::string> left;  /* messages still found after repair */
    std::size_t repaired;           /* repairs made */
};

const std::vector<Case>& cases()
{
    static const std::string shelf_off =
        "book 1 (Dune) has 0 on the shelf, but 1 copy less 0 open loans leave 1";
    static const std::vector<Case> table = {
        {"sound library",
         {{1, "Dune", "Anon", "SF", 2, 1}},
         {{1, 1, 1, "01/01/2026", "29/01/2026", false}},
         {},
         {},
         {},
         0},
        {"shelf count mended, over-lent book left",
         {{1, "Dune", "Anon", "SF", 3, 3}, {2, "Emma", "Anon", "SF", 1, 0}},
         {{1, 1, 1, "01/01/2026", "29/01/2026", false},
          {2, 1, 2, "01/01/2026", "29/01/2026", false},
          {3, 1, 2, "01/01/2026", "29/01/2026", false}},
         {},
         {"book 1 (Dune) has 3 on the shelf, but 3 copies less 1 open loan leave 2",
          "book 2 (Emma) has 2 open loans but owns only 1 copy"},
         {"book 2 (Emma) has 2 open loans but owns only 1 copy"},
         1},
        {"a refused line holds back the repair of its file",
         {{1, "Dune", "Anon", "SF", 1, 0}},
         {},
         {{2, SERIALIZER_REFUSED, "quote never closed"}},
         {"books.csv:2: quote never closed", shelf_off},
         {"books.csv:2: quote never closed", shelf_off},
         0},
        {"text that is not UTF-8 waits for a person",
         {{1, "Caf\xe9", "Anon", "SF", 1, 1}},
         {},
         {},
         {"book 1's title is not UTF-8 text"},
         {"book 1's title is not UTF-8 text"},
         0},
        {"a returned loan naming a book and a user that do not exist",
         {{1, "Dune", "Anon", "SF", 1, 1}},
         {{1, 1, 1, "01/01/2026", "29/01/2026", true}, {2, 7, 9, "01/01/2026", "29/01/2026", true}},
         {},
         {"returned loan 2 names book 9, which does not exist",
          "returned loan 2 names user 7, who does not exist"},
         {"returned loan 2 names book 9, which does not exist",
          "returned loan 2 names user 7, who does not exist"},
         0},
    };
    return table;
}

/* The findings' messages; only the rules' with `rules_only` (load
 * problems stay in memory until the file is read again). */
std::vector<std::string> messages(const CheckReport& report, bool rules_only = false)
{
    std::vector<std::string> out;
    for (const Finding& f : report.findings)
        if (!rules_only || f.kind == "rule")
            out.push_back(f.message);
    return out;
}

TEST(Checks, FindingsAndRepairs)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        auto store = std::make_unique<test::MemoryStore>();
        store->books = c.books, store->users = {kAnn}, store->loans = c.loans;
        store->book_load.problems = c.book_problems;
        auto lib = Library::open(std::move(store));
        EXPECT_EQ(messages(check_library(*lib)), c.found);
        EXPECT_FALSE(lib->books().touched() || lib->users().touched() || lib->loans().touched());
        lib->loans().touch(); /* a changed library is checked by walking every record */
        EXPECT_EQ(messages(check_library(*lib)), c.found) << "what opening found and a walk differ";
        const CheckReport repaired = repair_library(*lib);
        EXPECT_EQ(messages(repaired), c.left);
        EXPECT_EQ(repaired.repaired.size(), c.repaired);
        EXPECT_EQ(repaired.not_repaired.empty(), c.left.empty());
        EXPECT_EQ(messages(check_library(*lib), true), messages(repaired, true))
            << "a repair that did not hold";
        EXPECT_EQ(lib->books().touched(), c.repaired > 0) << "a repair that touched no file";
    }
}

TEST(Checks, SeesWhatChangedSinceOpening)
{
    auto store = std::make_unique<test::MemoryStore>();
    store->books = {{1, "Dune", "Anon", "SF", 1, 1}}, store->users = {kAnn};
    auto lib = Library::open(std::move(store));
    ASSERT_TRUE(check_library(*lib).ok());
    const std::size_t id = lib->loans().take_id();
    ASSERT_TRUE(lib->add_loan(borrow_new(id, 1, 5, "01/01/2026", "29/01/2026")));
    EXPECT_EQ(messages(check_library(*lib)),
              std::vector<std::string>{"open loan 1 names book 5, which does not exist"});
}

TEST(Checks, RefusalNamesAHandfulThenCounts)
{
    auto store = std::make_unique<test::MemoryStore>();
    store->users = {kAnn};
    for (std::size_t id = 1; id <= 8; ++id)
        store->loans.push_back({id, 1, 100 + id, "01/01/2026", "29/01/2026", false});
    auto lib = Library::open(std::move(store));
    try {
        refuse_unless_sound(*lib);
        FAIL() << "an unsound library was let through";
    } catch (const Failure& e) {
        const std::string message = e.what();
        EXPECT_EQ(e.status(), kFiles);
        EXPECT_NE(message.find("8 problems: open loan 1 names book 101"), std::string::npos)
            << message;
        EXPECT_NE(message.find("open loan 5 names book 105"), std::string::npos) << message;
        EXPECT_EQ(message.find("open loan 6 names"), std::string::npos) << message;
        EXPECT_NE(message.find("and 3 more; nothing was changed"), std::string::npos) << message;
    }
}

} // namespace
} // namespace desk
