/*
 * api_test.cpp - the web desk's JSON API against a server over a real
 * library folder: every route for each kind of caller, the guards of
 * changes, bad input, and changes made beside the server.
 */
#include <functional>
#include <vector>

#include "circulation.hpp"
#include "dates.hpp"
#include "web_fixture.hpp"

namespace web_test {
namespace {

enum Caller { nobody, desk_staff, admin_staff };

/* One request of a desk's day and its status for nobody, bob (desk) and
 * ann (admin). Rows run in order on one library per caller. */
struct Step {
    const char* method;
    const char* path;
    const char* body;
    int status[3];
};

const Step kDay[] = {
    {"POST",
     "/api/books",
     R"({"title":"Odyssey","author":"Homer","genre":"epic","copies":1})",
     {401, 403, 201}},
    {"POST",
     "/api/users",
     R"({"name":"Cy Twombly","address":"3 Main St","phone":"+34 91 234 56 70"})",
     {401, 403, 201}},
    {"GET", "/api/books", "", {401, 200, 200}},
    {"GET", "/api/books?search=dune", "", {401, 200, 200}},
    {"GET", "/api/books/1", "", {401, 200, 200}},
    {"GET", "/api/users", "", {401, 200, 200}},
    {"GET", "/api/users?search=ada", "", {401, 200, 200}},
    {"GET", "/api/users/1", "", {401, 200, 200}},
    {"POST", "/api/checkout", R"({"book":2,"user":1})", {401, 201, 201}},
    {"POST", "/api/holds", R"({"book":2,"user":2})", {401, 201, 201}},
    {"GET", "/api/holds", "", {401, 200, 200}},
    {"POST", "/api/renew", R"({"loan":1})", {401, 409, 409}}, /* a hold waits */
    {"POST", "/api/checkout", R"({"book":1,"user":1})", {401, 201, 201}},
    {"POST", "/api/renew", R"({"loan":2})", {401, 200, 200}},
    {"POST", "/api/return", R"({"loan":1})", {401, 200, 200}},
    {"POST", "/api/return", R"({"book":1,"user":1})", {401, 200, 200}},
    {"POST", "/api/return", R"({"loan":1})", {401, 409, 409}}, /* returned already */
    {"GET", "/api/books/99", "", {401, 404, 404}},
    {"GET", "/api/users/99", "", {401, 404, 404}},
    {"POST", "/api/checkout", R"({"book":99,"user":1})", {401, 404, 404}},
    {"POST", "/api/checkout", R"({"book":3,"user":1})", {401, 409, 409}}, /* no copy */
    {"GET", "/api/books?search=%20", "", {401, 400, 400}},
    {"GET", "/api/overdue", "", {401, 200, 200}},
    {"POST", "/api/logout", "", {401, 200, 200}},
    {"GET", "/api/books", "", {401, 401, 401}},
};

TEST_F(WebDeskTest, EveryRouteAnswersEachCallerAsItsRoleAllows)
{
    const char* names[] = {"", "bob", "ann"};
    for (Caller caller : {nobody, desk_staff, admin_staff}) {
        TearDown();
        SetUp();
        start();
        const Login who = caller == nobody ? Login{} : must_log_in(names[caller]);
        for (const Step& step : kDay) {
            auto res = std::string(step.method) == "GET" ? get(step.path, who)
                                                         : post(step.path, step.body, who);
            ASSERT_TRUE(res) << step.path;
            EXPECT_EQ(res->status, step.status[caller])
                << step.method << " " << step.path << " " << step.body << " as '" << names[caller]
                << "': " << res->body;
            if (res->status == 409 || res->status == 404) {
                EXPECT_FALSE(json::parse(res->body).value("reason", "").empty()) << step.path;
            }
        }
    }
}

TEST_F(WebDeskTest, AChangeNeedsTheSessionsTokenAndTheServersOwnOrigin)
{
    start();
    const Login bob = must_log_in("bob");
    struct Case {
        const char* csrf; /* "" leaves the header out; "=" sends bob's */
        const char* origin;
        const char* referer;
        int status;
    } cases[] = {
        {"", "=", "", 403},
        {"0123", "=", "", 403},
        {"=", "http://evil.example", "", 403},
        {"=", "null", "", 403},
        {"=", "", "http://evil.example/page", 403},
        {"=", "", "=", 201},
        {"=", "=", "", 201},
    };
    for (const Case& c : cases) {
        httplib::Headers headers{{"Cookie", bob.cookie}};
        headers.emplace("X-CSRF-Token", std::string(c.csrf) == "=" ? bob.csrf : c.csrf);
        headers.emplace("Origin", std::string(c.origin) == "=" ? own_origin() : c.origin);
        if (*c.referer)
            headers.emplace("Referer",
                            std::string(c.referer) == "=" ? own_origin() + "/desk" : c.referer);
        if (!*c.origin) /* no Origin at all: the Referer decides */
            headers.erase("Origin");
        auto res =
            client().Post("/api/checkout", headers, R"({"book":1,"user":1})", "application/json");
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status) << c.csrf << " " << c.origin << " " << c.referer;
        if (res->status == 201)
            post("/api/return", R"({"book":1,"user":1})", bob);
    }
}

TEST_F(WebDeskTest, BadInputIsRefusedAndTheServerGoesOnAnswering)
{
    start();
    const Login bob = must_log_in("bob");
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
        auto res = post(c.path, c.body, bob);
        ASSERT_TRUE(res) << c.path;
        EXPECT_EQ(res->status, c.status) << c.path << " " << c.body.substr(0, 40);
        EXPECT_EQ(res->get_header_value("X-Content-Type-Options"), "nosniff");
    }
    auto after = get("/api/books", bob);
    ASSERT_TRUE(after);
    EXPECT_EQ(after->status, 200);
}

TEST_F(WebDeskTest, EveryResponseCarriesTheSecurityHeaders)
{
    start();
    const Login bob = must_log_in("bob");
    const std::pair<const char*, const char*> headers[] = {
        {"Content-Security-Policy",
         "default-src 'self'; frame-ancestors 'none'; form-action 'self'"},
        {"X-Content-Type-Options", "nosniff"},
        {"Referrer-Policy", "same-origin"},
        {"Cache-Control", "no-store"},
    };
    for (const char* path : {"/api/books", "/api/books/99", "/nowhere"}) {
        for (const Login& who : {Login{}, bob}) {
            auto res = get(path, who);
            ASSERT_TRUE(res);
            for (const auto& [name, value] : headers)
                EXPECT_EQ(res->get_header_value(name), value) << path << " " << name;
        }
    }
}

TEST_F(WebDeskTest, AChangeMadeBesideTheServerIsSeenWithoutRestart)
{
    start();
    const Login bob = must_log_in("bob");
    ASSERT_EQ(post("/api/checkout", R"({"book":1,"user":1})", bob)->status, 201);
    {
        auto lib = open_for_change(folder_);
        desk::add_book(*lib, {"Kindred", "Octavia Butler", "sf", 3});
        lib->commit();
    }
    auto found = get("/api/books?search=kindred", bob);
    ASSERT_TRUE(found);
    ASSERT_EQ(json::parse(found->body).size(), 1u) << found->body;
    EXPECT_EQ(post("/api/checkout", R"({"book":4,"user":2})", bob)->status, 201);
    auto lib = desk::Library::open(desk::open_folder_store(folder_, desk::Access::read, 5));
    EXPECT_EQ(lib->open_loans().size(), 2u);
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
        ASSERT_EQ(post("/api/checkout", R"({"book":1,"user":1})", who)->status, 201);
        std::string clerk;
        auto lib = desk::Library::open(desk::open_folder_store(folder_, desk::Access::read, 5));
        lib->read_history([&clerk](const desk::Entry& entry) { clerk = entry.clerk; });
        EXPECT_EQ(clerk, name);
    }
}

/* The rows of a page's loan history, and how many of them are still out. */
struct Stories {
    std::size_t rows = 0, out = 0;
};

Stories stories_of(const std::string& html)
{
    const std::size_t begin = html.find("class=\"stories\"");
    const std::string table = html.substr(begin, html.find("</table>", begin) - begin);
    const auto count = [&table](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = table.find(what); at != std::string::npos;
             at = table.find(what, at + 1))
            ++n;
        return n;
    };
    return {count("<tr>") - 1, count("<td>out</td>")};
}

TEST_F(WebDeskTest, ABooksPageTellsTheHistoryAsItGrows)
{
    start();
    const Login bob = must_log_in("bob");
    std::size_t lent = 0;
    const auto lend_at_web_desk = [&] {
        auto res = post("/api/checkout", R"({"book":2,"user":1})", bob);
        ASSERT_TRUE(res && res->status == 201);
        lent = json::parse(res->body).at("id").get<std::size_t>();
    };
    const auto return_at_web_desk = [&] {
        auto res = post("/api/return", json{{"loan", lent}}.dump(), bob);
        ASSERT_TRUE(res && res->status == 200);
    };
    const auto lend_beside_the_server = [&] {
        auto lib = open_for_change(folder_);
        desk::checkout(*lib, 2, 2, desk::today(), {});
        lib->commit();
    };
    struct Moment {
        const char* what;
        std::function<void()> act;
        Stories expected;
    };
    const Moment moments[] = {
        {"nothing yet", [] {}, {0, 0}},
        {"lent at the web desk", lend_at_web_desk, {1, 1}},
        {"returned at the web desk", return_at_web_desk, {1, 0}},
        {"lent beside the server", lend_beside_the_server, {2, 1}},
    };
    for (const Moment& step : moments) {
        step.act();
        for (int visit = 0; visit < 2; ++visit) {
            auto page = get("/books/2", bob);
            ASSERT_TRUE(page && page->status == 200) << step.what;
            const Stories seen = stories_of(page->body);
            EXPECT_EQ(seen.rows, step.expected.rows) << step.what;
            EXPECT_EQ(seen.out, step.expected.out) << step.what;
        }
    }
}

TEST_F(WebDeskTest, RepeatedWrongPasswordsAreSlowedDown)
{
    start();
    Login who;
    for (unsigned i = 1; i < web::kFreeFailures; ++i)
        EXPECT_EQ(log_in("bob", "not-his-password", who), 401) << i;
    EXPECT_EQ(log_in("bob", "not-his-password", who), 401);
    auto res = post("/api/login", json{{"name", "bob"}, {"password", "bob-password"}}.dump(), {});
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 429);
    EXPECT_GE(std::atol(res->get_header_value("Retry-After").c_str()), 1);
    EXPECT_EQ(log_in("nobody-at-all", "whatever", who), 429); /* same address */
}

TEST_F(WebDeskTest, AnIdleSessionEnds)
{
    start(std::chrono::steady_clock::duration::zero());
    const Login bob = must_log_in("bob");
    auto res = get("/api/books", bob);
    ASSERT_TRUE(res);
    EXPECT_EQ(res->status, 401);
}

} // namespace
} // namespace web_test
