/*
 * routes_pages_test.cpp - the web desk's HTML routes through the server:
 * who may see each page, the login form, and the forms that change the
 * library guarded by the session's token and the server's origin.
 */
#include "web_fixture.hpp"

namespace web_test {
namespace {

/* A page and its status for nobody (a redirect to the login), bob (desk)
 * and ann (admin). */
struct PageCase {
    const char* path;
    int status[3];
};

const PageCase kPages[] = {
    {"/desk", {303, 200, 200}},
    {"/desk?user=1", {303, 200, 200}},
    {"/desk?user=99", {303, 404, 404}},
    {"/search?q=dune", {303, 200, 200}},
    {"/books/1", {303, 200, 200}},
    {"/books/99", {303, 404, 404}},
    {"/users/2", {303, 200, 200}},
    {"/notices", {303, 200, 200}},
    {"/reports?by=genre", {303, 200, 200}},
    {"/admin", {303, 403, 200}},
    {"/login", {200, 200, 200}},
};

TEST_F(WebDeskTest, EachPageAnswersEachCallerAsItsRoleAllows)
{
    start();
    const Login callers[] = {Login{}, must_log_in("bob"), must_log_in("ann")};
    for (const PageCase& page : kPages) {
        for (int caller = 0; caller < 3; ++caller) {
            auto res = get(page.path, callers[caller]);
            ASSERT_TRUE(res) << page.path;
            EXPECT_EQ(res->status, page.status[caller]) << page.path << " caller " << caller;
            if (res->status == 303) {
                EXPECT_EQ(res->get_header_value("Location"), "/login");
            } else {
                EXPECT_NE(res->get_header_value("Content-Type").find("text/html"),
                          std::string::npos);
            }
        }
    }
}

TEST_F(WebDeskTest, AFormChangesTheLibraryOnlyWithTheTokenFromThisServer)
{
    start();
    const Login bob = must_log_in("bob");
    struct Case {
        bool csrf;
        const char* origin; /* "=": the server's own */
        int status;
        std::size_t open_loans_after;
    } cases[] = {
        {false, "=", 403, 0},
        {true, "http://evil.example", 403, 0},
        {true, "=", 200, 1},
    };
    for (const Case& c : cases) {
        const std::string origin = std::string(c.origin) == "=" ? own_origin() : c.origin;
        auto res = post_form("/desk/scan", {{"user", "1"}, {"scan", "1"}}, bob, origin, c.csrf);
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status) << c.origin;
        auto lib = desk::Library::open(desk::open_folder_store(folder_, desk::Access::read, 5));
        EXPECT_EQ(lib->open_loans().size(), c.open_loans_after) << c.origin;
    }
    auto back = post_form("/desk/return", {{"book", "1"}}, bob, own_origin());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->status, 200);
    EXPECT_NE(back->body.find("book 1 returned"), std::string::npos);
}

/* A form of the day, in order, and its status for bob (desk) and ann
 * (admin), each on a library of their own. */
struct FormCase {
    const char* path;
    httplib::Params form;
    int status[2];
};

TEST_F(WebDeskTest, EachFormAnswersAsTheRoleAllows)
{
    const FormCase forms[] = {
        {"/admin/books",
         {{"title", "Kindred"}, {"author", "O. Butler"}, {"genre", "sf"}},
         {403, 200}},
        {"/admin/users",
         {{"name", "Cy"}, {"address", "3 Main St"}, {"phone", "+34 91 234 56 70"}},
         {403, 200}},
        {"/desk/scan", {{"user", "1"}, {"scan", "2"}}, {200, 200}},
        {"/holds", {{"book", "2"}, {"user", "2"}}, {200, 200}},
        {"/loans/1/renew", {}, {409, 409}}, /* a hold waits */
        {"/desk/return", {{"book", "2"}}, {200, 200}},
        {"/desk/scan", {{"user", "1"}, {"scan", "x1"}}, {400, 400}},
        {"/desk/return", {{"book", "3"}}, {409, 409}}, /* none out */
        {"/admin/books/2", {{"title", "Emma (new edition)"}}, {403, 200}},
        {"/admin/users/99", {{"name", "Nobody"}}, {403, 404}},
        {"/admin/books/3/remove", {}, {403, 200}},
        {"/admin/users/2/remove", {}, {403, 409}}, /* a copy waits for the hold */
    };
    const char* names[] = {"bob", "ann"};
    for (int caller = 0; caller < 2; ++caller) {
        TearDown();
        SetUp();
        start();
        const Login who = must_log_in(names[caller]);
        for (const FormCase& c : forms) {
            auto res = post_form(c.path, c.form, who, own_origin());
            ASSERT_TRUE(res) << c.path;
            EXPECT_EQ(res->status, c.status[caller]) << c.path << " as " << names[caller];
        }
    }
}

TEST_F(WebDeskTest, TheLoginFormLogsInAndOut)
{
    start();
    struct Case {
        const char* password;
        int status;
    } cases[] = {{"wrong-password", 401}, {"bob-password", 303}};
    for (const Case& c : cases) {
        auto res = client().Post("/login", {{"Origin", own_origin()}},
                                 httplib::Params{{"name", "bob"}, {"password", c.password}});
        ASSERT_TRUE(res);
        EXPECT_EQ(res->status, c.status);
        EXPECT_EQ(res->has_header("Set-Cookie"), c.status == 303);
        if (c.status != 303)
            continue;
        const std::string cookie = res->get_header_value("Set-Cookie");
        EXPECT_NE(cookie.find("HttpOnly; SameSite=Strict; Path=/"), std::string::npos);
        const Login bob{cookie.substr(0, cookie.find(';')), ""};
        EXPECT_EQ(get("/desk", bob)->status, 200);
        EXPECT_EQ(client().Post("/logout", {{"Cookie", bob.cookie}}, "", "text/plain")->status,
                  403); /* no token */
    }
}

} // namespace
} // namespace web_test
