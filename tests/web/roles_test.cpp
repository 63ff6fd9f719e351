/*
 * roles_test.cpp - every route of the web desk, pages, forms and the JSON
 * API, asked in the order of a desk's day by nobody, bob (desk) and ann
 * (admin), each on a library of their own: the status each gets, and the
 * headers every answer carries.
 */
#include "web_fixture.hpp"

namespace web_test {
namespace {

enum class Send { get, json, form, upload };

/* A request of the day and its status for nobody, bob and ann. A form's
 * body is url-encoded; the session's token is added to it. */
struct Step {
    Send send;
    const char* path;
    const char* body;
    int status[3];
};

constexpr Send G = Send::get, J = Send::json, F = Send::form, U = Send::upload;

const Step kDay[] = {
    {G, "/login", "", {200, 200, 200}},
    {G, "/desk", "", {303, 200, 200}},
    {G, "/desk?user=1", "", {303, 200, 200}},
    {G, "/desk?user=99", "", {303, 404, 404}},
    {G, "/search?q=dune", "", {303, 200, 200}},
    {G, "/books/1", "", {303, 200, 200}},
    {G, "/books/99", "", {303, 404, 404}},
    {G, "/users/2", "", {303, 200, 200}},
    {G, "/notices", "", {303, 200, 200}},
    {G, "/notices.csv?within=3", "", {303, 200, 200}},
    {G, "/reports?by=genre", "", {303, 200, 200}},
    {G, "/admin", "", {303, 403, 200}},
    {G, "/admin/export/books.csv", "", {303, 403, 200}},
    {G, "/admin/export/users.csv", "", {303, 403, 200}},
    {G, "/admin/export/loans.csv", "", {303, 403, 200}},
    {F, "/admin/check", "", {303, 403, 200}},
    {F, "/admin/repair", "", {303, 403, 200}},
    {U, "/admin/import", "", {303, 403, 200}}, /* a dry run */
    {G, "/api/books", "", {401, 200, 200}},
    {G, "/api/books?search=dune", "", {401, 200, 200}},
    {G, "/api/books?search=%20", "", {401, 400, 400}},
    {G, "/api/books/1", "", {401, 200, 200}},
    {G, "/api/books/99", "", {401, 404, 404}},
    {G, "/api/users", "", {401, 200, 200}},
    {G, "/api/users?search=ada", "", {401, 200, 200}},
    {G, "/api/users/1", "", {401, 200, 200}},
    {G, "/api/users/99", "", {401, 404, 404}},
    {G, "/nowhere", "", {404, 404, 404}},
    /* the catalogue and the members: ann's alone */
    {J,
     "/api/books",
     R"({"title":"Odyssey","author":"Homer","genre":"epic","copies":1})",
     {401, 403, 201}},
    {J,
     "/api/users",
     R"({"name":"Cy Twombly","address":"3 Main St","phone":"+34 91 234 56 70"})",
     {401, 403, 201}},
    {F, "/admin/books", "title=Kindred&author=O.%20Butler&genre=sf", {303, 403, 200}},
    {F,
     "/admin/users",
     "name=Dee&address=4%20Main%20St&phone=%2B34%2091%20234%2056%2071",
     {303, 403, 200}},
    {F, "/admin/books/2", "title=Emma%20(new%20edition)", {303, 403, 200}},
    {F, "/admin/users/99", "name=Nobody", {303, 403, 404}},
    {F, "/admin/books/3/remove", "", {303, 403, 200}},
    {F, "/fines/1/waive", "reason=kind", {303, 403, 404}}, /* no fine 1 */
    /* lending: book 2 has one copy, book 1 two */
    {J, "/api/checkout", R"({"book":2,"user":1})", {401, 201, 201}}, /* loan 1 */
    {J, "/api/checkout", R"({"book":2,"user":2})", {401, 409, 409}}, /* no copy left */
    {J, "/api/checkout", R"({"book":99,"user":1})", {401, 404, 404}},
    {F, "/holds", "book=2&user=2", {303, 200, 200}},
    {J, "/api/holds", R"({"book":2,"user":2})", {401, 409, 409}}, /* held already */
    {G, "/api/holds", "", {401, 200, 200}},
    {J, "/api/renew", R"({"loan":1})", {401, 409, 409}}, /* a hold waits */
    {F, "/loans/1/renew", "", {303, 409, 409}},
    {F, "/desk/scan", "user=1&scan=1", {303, 200, 200}}, /* loan 2 */
    {F, "/desk/scan", "user=1&scan=x1", {303, 400, 400}},
    {J, "/api/renew", R"({"loan":2})", {401, 200, 200}},
    {J, "/api/return", R"({"loan":1})", {401, 200, 200}},
    {J, "/api/return", R"({"loan":1})", {401, 409, 409}}, /* returned already */
    {F, "/admin/users/2/remove", "", {303, 403, 409}},    /* a copy waits for the hold */
    {F, "/desk/scan", "user=2&scan=1", {303, 200, 200}},  /* loan 3 */
    {J, "/api/return", R"({"book":1,"user":1})", {401, 200, 200}},
    {F, "/desk/return", "book=1", {303, 200, 200}},
    {F, "/desk/return", "book=1", {303, 409, 409}}, /* none out */
    {G, "/api/overdue", "", {401, 200, 200}},
    {J, "/api/logout", "", {401, 200, 200}},
    {G, "/api/books", "", {401, 401, 401}},
};

/* The type an answer of `status` to `path` comes in. */
std::string type_of(const std::string& path, int status)
{
    if (path.starts_with("/api/") || path == "/nowhere")
        return "application/json";
    return status == 200 && has(path, ".csv") ? "text/csv" : "text/html";
}

TEST_F(WebDeskTest, EveryRouteAnswersEachCallerAsItsRoleAllows)
{
    const char* names[] = {"", "bob", "ann"};
    for (int caller = 0; caller < 3; ++caller) {
        TearDown();
        SetUp();
        const Login who = caller == 0 ? (start(), Login{}) : start_as(names[caller]);
        for (const Step& step : kDay) {
            const std::string what =
                std::string(step.path) + " " + step.body + " as '" + names[caller] + "'";
            const httplib::Response res = answered(
                step.send == G   ? get(step.path, who)
                : step.send == J ? post(step.path, step.body, who)
                : step.send == F ? post_form(step.path, step.body, who)
                                 : post_upload(step.path, import_form(kNewBook, "books", "0"), who),
                step.status[caller], what);
            expect_guarded(res, what);
            if (res.status == 303) {
                EXPECT_EQ(res.get_header_value("Location"), "/login") << what;
                continue;
            }
            EXPECT_TRUE(
                res.get_header_value("Content-Type").starts_with(type_of(step.path, res.status)))
                << what;
            if (std::string(step.path).starts_with("/api/") &&
                (res.status == 404 || res.status == 409)) {
                EXPECT_FALSE(json::parse(res.body).value("reason", "").empty()) << what;
            }
        }
    }
}

} // namespace
} // namespace web_test
