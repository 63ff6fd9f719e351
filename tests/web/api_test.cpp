/*
 * api_test.cpp - the web desk's JSON API against a server over a real
 * library folder: bad input, the history a change
 * leaves, changes made beside the server, and the brakes on logins.
 */
#include <functional>
#include <vector>

#include "circulation.hpp"
#include "dates.hpp"
#include "web_fixture.hpp"

namespace web_test {
namespace {

TEST_F(WebDeskTest, BadInputIsRefusedAndTheServerGoesOnAnswering)
{
    const Login bob = start_as("bob");
    struct Case {
        const char* path;
        std::string body;
        int status;
    } cases[] = {
        {"/api/checkout", "{\"book\":1,", 400},
        {"/api/checkout", "[1,1]", 400},
        {"/api/checkout", R"({"book":"1","user":1})", 400},
        {"/api/checkout", R"({"book":-1,"user":1})", 400},
        {"/api/checkout", R"({"book":1.5,"user":1})", 400},
        {"/api/checkout", R"({"book":1,"user":1,"days":90})", 400},
        {"/api/return", R"({"loan":1,"book":1,"user":1})", 400},
        {"/api/return", R"({})", 400},
        {"/api/login", R"({"name":"bob"})", 400},
        {"/api/checkout", std::string(70 * 1024, ' '), 413},
        {"/api/nowhere", "{}", 404},
    };
    for (const Case& c : cases) {
        const auto res = answered(post(c.path, c.body, bob), c.status, c.body.substr(0, 40));
        expect_guarded(res, c.body.substr(0, 40));
    }
    answered(get("/api/books", bob), 200, "after");
}

TEST_F(WebDeskTest, AChangeMadeBesideTheServerIsSeenWithoutRestart)
{
    const Login bob = start_as("bob");
    answered(post("/api/checkout", R"({"book":1,"user":1})", bob), 201, "lend");
    {
        auto lib = open_for_change(folder_);
        desk::add_book(*lib, {"Kindred", "Octavia Butler", "sf", 3});
        lib->commit();
    }
    const auto found = answered(get("/api/books?search=kindred", bob), 200, "search");
    EXPECT_EQ(json::parse(found.body).size(), 1u) << found.body;
    answered(post("/api/checkout", R"({"book":4,"user":2})", bob), 201, "lend the new book");
    EXPECT_EQ(committed()->open_loans().size(), 2u);
}

TEST_F(WebDeskTest, ARefusedChangeLeavesTheLibraryAsCommitted)
{
    web::WebDesk web_desk(folder_, 5);
    const auto on_shelf = [&web_desk](std::size_t book) {
        std::size_t count = 0;
        web_desk.read(
            [&](const desk::Library& lib) { count = book_get_available(lib.books().find(book)); });
        return count;
    };
    const auto lend = [](std::size_t book) {
        return [book](desk::Library& lib) { desk::checkout(lib, book, 1, desk::today(), {}); };
    };
    EXPECT_THROW(web_desk.change("bob", lend(3)), desk::Failure) << "book 3 has no copy";
    EXPECT_EQ(on_shelf(1), 2u);
    web_desk.change("bob", lend(1)); /* the lock was let go after the refusal */
    EXPECT_EQ(on_shelf(1), 1u);
    const auto lend_then_fail = [&lend](desk::Library& lib) {
        lend(1)(lib);
        throw desk::Failure(desk::kWrite, "the disk is full; nothing was changed");
    };
    EXPECT_THROW(web_desk.change("bob", lend_then_fail), desk::Failure);
    EXPECT_EQ(on_shelf(1), 1u) << "a half-made change was served";
    EXPECT_EQ(committed()->open_loans().size(), 1u);
}

TEST_F(WebDeskTest, TheHistoryNamesTheStaffMemberAsClerk)
{
    start();
    for (const char* name : {"bob", "ann"}) {
        const Login who = must_log_in(name);
        answered(post("/api/checkout", R"({"book":1,"user":1})", who), 201, name);
        std::string clerk;
        committed()->read_history([&clerk](const desk::Entry& entry) { clerk = entry.clerk; });
        EXPECT_EQ(clerk, name);
    }
}

/* Each row of a book page's loan history as "returned renewals", where a
 * loan returned on the day it was lent reads "same-day". */
std::vector<std::string> stories_of(const std::string& html)
{
    const std::size_t begin = html.find("<tbody>", html.find("class=\"stories\""));
    const std::string table = html.substr(begin, html.find("</tbody>", begin) - begin);
    std::vector<std::string> rows;
    for (std::size_t at = table.find("<tr>"); at != std::string::npos;
         at = table.find("<tr>", at + 1)) {
        std::vector<std::string> cells;
        for (std::size_t td = table.find("<td>", at); td < table.find("</tr>", at);
             td = table.find("<td>", td + 1))
            cells.push_back(table.substr(td + 4, table.find("</td>", td) - td - 4));
        const std::string& returned = cells.at(5) == cells.at(3) ? "same-day" : cells.at(5);
        rows.push_back(returned + " " + cells.at(6));
    }
    return rows;
}

/* The page tells what changed at the web desk from the library and history
 * the server keeps in memory (the folder changed only by the server itself),
 * and what changed beside it from the folder read again. */
TEST_F(WebDeskTest, ABooksPageTellsTheHistoryAsItGrows)
{
    const Login bob = start_as("bob");
    const std::string loan = json{{"loan", 1}}.dump();
    const auto lend_beside_the_server = [this] {
        auto lib = open_for_change(folder_);
        desk::checkout(*lib, 2, 2, desk::today(), {});
        lib->commit();
    };
    const struct {
        const char* what;
        std::function<void()> act;
        std::vector<std::string> rows;
    } moments[] = {
        {"nothing yet", [] {}, {}},
        {"lent at the web desk",
         [&] { answered(post("/api/checkout", R"({"book":2,"user":1})", bob), 201, "lend"); },
         {"out 0"}},
        {"renewed at the web desk",
         [&] { answered(post("/api/renew", loan, bob), 200, "renew"); },
         {"out 1"}},
        {"returned at the web desk",
         [&] { answered(post("/api/return", loan, bob), 200, "return"); },
         {"same-day 1"}},
        {"lent beside the server", lend_beside_the_server, {"same-day 1", "out 0"}},
    };
    for (const auto& moment : moments) {
        moment.act();
        for (int visit = 0; visit < 2; ++visit)
            EXPECT_EQ(stories_of(answered(get("/books/2", bob), 200, moment.what).body),
                      moment.rows)
                << moment.what << ", visit " << visit;
    }
}

TEST_F(WebDeskTest, AnswersAreNeverBrotliWhichIsTooSlowAtTheDesk)
{
    const Login bob = start_as("bob");
    const struct {
        const char* accepted;
        const char* encoding;
    } cases[] = {
        {"br", ""},
        {"gzip, deflate, br", "gzip"},
        {"br;q=1.0, gzip;q=0.5", "gzip"},
        {"x-brotli, gzip", "gzip"},
        {"", ""},
    };
    for (const auto& c : cases) {
        auto res = client().Get("/desk", {{"Cookie", bob.cookie}, {"Accept-Encoding", c.accepted}});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, 200) << c.accepted;
        EXPECT_EQ(res->get_header_value("Content-Encoding"), c.encoding) << c.accepted;
        EXPECT_NE(res->body.find("<h1>Desk</h1>"), std::string::npos) << c.accepted;
    }
}

TEST_F(WebDeskTest, RepeatedWrongPasswordsAreSlowedDown)
{
    start();
    Login who;
    for (unsigned i = 0; i < web::kFreeFailures; ++i)
        EXPECT_EQ(log_in("bob", "not-his-password", who), 401) << i;
    const auto res =
        answered(post("/api/login", json{{"name", "bob"}, {"password", "bob-password"}}.dump(), {}),
                 429, "the right password, too soon");
    EXPECT_GE(std::atol(res.get_header_value("Retry-After").c_str()), 1);
    EXPECT_EQ(log_in("nobody-at-all", "whatever", who), 429); /* same address */
}

TEST_F(WebDeskTest, AnIdleSessionEnds)
{
    start(std::chrono::steady_clock::duration::zero());
    answered(get("/api/books", must_log_in("bob")), 401, "an idle session");
}

} // namespace
} // namespace web_test
