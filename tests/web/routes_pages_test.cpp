/*
 * routes_pages_test.cpp - the guards of a change made through the web
 * desk's forms or its JSON API (the session's token and the server's
 * origin), and the login form.
 */
#include "web_fixture.hpp"

namespace web_test {
namespace {

/* A change by bob through a form or the JSON API, with or without his
 * token, from this server or another: refused changes leave no loan. */
TEST_F(WebDeskTest, AChangeNeedsTheSessionsTokenAndTheServersOwnOrigin)
{
    const Login bob = start_as("bob");
    struct Case {
        bool form;
        const char* csrf;    /* "" leaves it out; "=": bob's */
        const char* origin;  /* "" sends none (the Referer decides); "=": this server */
        const char* referer; /* "" sends none; "=": a page of this server */
        int status;
    } cases[] = {
        {false, "", "=", "", 403},
        {false, "0123", "=", "", 403},
        {false, "=", "http://evil.example", "", 403},
        {false, "=", "null", "", 403},
        {false, "=", "", "http://evil.example/page", 403},
        {false, "=", "", "=", 201},
        {false, "=", "=", "", 201},
        {true, "", "=", "", 403},
        {true, "=", "http://evil.example", "", 403},
        {true, "=", "=", "", 200},
    };
    const auto or_own = [](const char* given, const std::string& own) {
        return std::string(given) == "=" ? own : std::string(given);
    };
    for (const Case& c : cases) {
        const std::string what = std::string(c.form ? "form" : "api") + " csrf '" + c.csrf +
                                 "' origin '" + c.origin + "' referer '" + c.referer + "'";
        httplib::Headers headers{{"Cookie", bob.cookie}};
        if (*c.origin)
            headers.emplace("Origin", or_own(c.origin, own_origin()));
        if (*c.referer)
            headers.emplace("Referer", or_own(c.referer, own_origin() + "/desk"));
        const std::string csrf = or_own(c.csrf, bob.csrf);
        if (!c.form && *c.csrf)
            headers.emplace("X-CSRF-Token", csrf);
        const std::string form = "user=1&scan=1" + (*c.csrf ? "&csrf=" + csrf : "");
        answered(
            c.form ? client().Post("/desk/scan", headers, form, "application/x-www-form-urlencoded")
                   : client().Post("/api/checkout", headers, R"({"book":1,"user":1})",
                                   "application/json"),
            c.status, what);
        ASSERT_EQ(committed()->open_loans().size(), c.status == 403 ? 0u : 1u) << what;
        if (c.status == 403)
            continue;
        const auto back = answered(post_form("/desk/return", "book=1", bob), 200, "return");
        EXPECT_TRUE(has(back.body, "book 1 returned")) << back.body;
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
        const auto res =
            answered(client().Post("/login", {{"Origin", own_origin()}},
                                   httplib::Params{{"name", "bob"}, {"password", c.password}}),
                     c.status, c.password);
        EXPECT_EQ(res.has_header("Set-Cookie"), c.status == 303);
        if (c.status != 303)
            continue;
        const std::string cookie = res.get_header_value("Set-Cookie");
        EXPECT_NE(cookie.find("HttpOnly; SameSite=Strict; Path=/"), std::string::npos);
        const Login bob{cookie.substr(0, cookie.find(';')), ""};
        answered(get("/desk", bob), 200, "the desk");
        answered(client().Post("/logout", {{"Cookie", bob.cookie}}, "", "text/plain"), 403,
                 "a logout without the token");
    }
}

} // namespace
} // namespace web_test
