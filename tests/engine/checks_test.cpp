/*
 * checks_test.cpp - the library's findings, repairs and the refusal of
 * change, over libraries made in memory.
 */
#include <gtest/gtest.h>

#include "checks.hpp"
#include "failure.hpp"
#include "filled_store.hpp"

namespace {

using namespace enginetest;

struct Case {
    const char* name;
    Fill fill;
    std::vector<std::string> found; /* check's messages, in order */
    std::vector<std::string> left;  /* messages still found after repair */
    std::size_t repaired;           /* repairs made */
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> table = {
        {"sound library",
         {[](desk::Tables& t) {
             add_book(t, 1, "Dune", 2, 1);
             add_user(t, 1);
             add_loan(t, 1, 1, 1);
         }},
         {},
         {},
         0},
        {"returned loan naming a removed book and user",
         {[](desk::Tables& t) {
             add_book(t, 1, "Dune", 1, 1);
             add_user(t, 1);
             add_loan(t, 4, 9, 7, true);
         }},
         {"returned loan 4 names book 7, which does not exist",
          "returned loan 4 names user 9, who does not exist"},
         {"returned loan 4 names book 7, which does not exist",
          "returned loan 4 names user 9, who does not exist"},
         0},
        {"duplicate identifier counted",
         {[](desk::Tables& t) {
             add_book(t, 3, "A", 1, 1);
             add_book(t, 3, "B", 1, 1);
             add_book(t, 3, "C", 1, 1);
         }},
         {"book 3 appears 3 times"},
         {"book 3 appears 3 times"},
         0},
        {"trailer behind is raised",
         {[](desk::Tables& t) { add_user(t, 5); }, 0, 2, 0},
         {"user 5 is not below the next identifier 2 (the trailer)"},
         {},
         1},
        {"shelf count mended, over-lent book left",
         {[](desk::Tables& t) {
             add_book(t, 1, "Dune", 3, 3);
             add_book(t, 2, "Emma", 1, 0);
             add_user(t, 1);
             add_loan(t, 1, 1, 1);
             add_loan(t, 2, 1, 2);
             add_loan(t, 3, 1, 2);
         }},
         {"book 1 (Dune) has 3 on the shelf, but 3 copies less 1 open loan leave 2",
          "book 2 (Emma) has 2 open loans but owns only 1 copy"},
         {"book 2 (Emma) has 2 open loans but owns only 1 copy"},
         1},
        {"text that is not UTF-8",
         {[](desk::Tables& t) {
             add_book(t, 1, "Caf\xe9", 1, 1);
             add_user(t, 2, "Jos\xe9");
         }},
         {"book 1's title is not UTF-8 text", "user 2's name is not UTF-8 text"},
         {"book 1's title is not UTF-8 text", "user 2's name is not UTF-8 text"},
         0},
        {"a refused line holds back the repair of its file",
         {[](desk::Tables& t) {
             add_book(t, 1, "Dune", 1, 0);
             t.books.problems.push_back({2, SERIALIZER_REFUSED, "quote never closed"});
         }},
         {"books.csv:2: quote never closed", "book 1 (Dune) has 0 on the shelf, but 1 copy less 0 "
                                             "open loans leave 1"},
         {"books.csv:2: quote never closed", "book 1 (Dune) has 0 on the shelf, but 1 copy less 0 "
                                             "open loans leave 1"},
         0},
        {"a line the loader changed is saved as loaded",
         {[](desk::Tables& t) {
             add_book(t, 1, "Dune", 1, 1);
             t.books.problems.push_back({1, SERIALIZER_CHANGED,
                                         "field 6 (available) is above the "
                                         "quantity: lowered to the quantity"});
         }},
         {"books.csv:1: field 6 (available) is above the quantity: lowered to the quantity"},
         {},
         1},
    };
    return table;
}

/* The findings' messages; only the rules' with `rules_only` (load
 * problems stay in memory until the file is read again). */
std::vector<std::string> messages(const desk::CheckReport& report, bool rules_only = false)
{
    std::vector<std::string> out;
    for (const desk::Finding& f : report.findings)
        if (!rules_only || f.kind == "rule")
            out.push_back(f.message);
    return out;
}

TEST(Checks, FindingsAndRepairs)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        int commits = 0;
        auto lib = desk::Library::open(memory_store(c.fill, &commits));
        EXPECT_EQ(messages(desk::check_library(*lib)), c.found);
        EXPECT_FALSE(lib->books().touched() || lib->users().touched() || lib->loans().touched());
        const desk::CheckReport repaired = desk::repair_library(*lib);
        EXPECT_EQ(messages(repaired), c.left);
        EXPECT_EQ(repaired.repaired.size(), c.repaired);
        EXPECT_EQ(repaired.not_repaired.empty(), c.left.empty());
        EXPECT_EQ(messages(desk::check_library(*lib), true), messages(repaired, true))
            << "a repair that did not hold";
        lib->commit();
        EXPECT_EQ(commits, c.repaired > 0 ? 1 : 0) << "a repair that touched no file, or a check "
                                                      "that did";
    }
}

TEST(Checks, RefusalNamesAHandfulThenCounts)
{
    auto lib = desk::Library::open(memory_store({[](desk::Tables& t) {
        add_user(t, 1);
        for (std::size_t id = 1; id <= 8; ++id)
            add_loan(t, id, 1, 100 + id);
    }}));
    try {
        desk::refuse_unless_sound(*lib);
        FAIL() << "an unsound library was let through";
    } catch (const desk::Failure& e) {
        const std::string message = e.what();
        EXPECT_EQ(e.status(), desk::kFiles);
        EXPECT_NE(message.find("8 problems: open loan 1 names book 101"), std::string::npos)
            << message;
        EXPECT_NE(message.find("open loan 5 names book 105"), std::string::npos) << message;
        EXPECT_EQ(message.find("open loan 6 names"), std::string::npos) << message;
        EXPECT_NE(message.find("and 3 more; nothing was changed; run `lendrec check`"),
                  std::string::npos)
            << message;
    }
    auto sound = desk::Library::open(memory_store({[](desk::Tables& t) { add_user(t, 1); }}));
    EXPECT_NO_THROW(desk::refuse_unless_sound(*sound));
}

TEST(Checks, JsonShape)
{
    auto lib = desk::Library::open(memory_store({[](desk::Tables& t) {
        add_book(t, 1, "Dune", 1, 1);
        t.books.problems.push_back(
            {2, SERIALIZER_IGNORED, "text after the trailer line is ignored"});
    }}));
    const nlohmann::json out = desk::to_json(desk::repair_library(*lib));
    EXPECT_EQ(out["ok"], false);
    EXPECT_EQ(out["findings"][0]["line"], 2);
    EXPECT_EQ(out["findings"][0]["kind"], "ignored");
    EXPECT_EQ(out["not_repaired"].size(), 1u);
}

} // namespace
