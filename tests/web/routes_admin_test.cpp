/*
 * routes_admin_test.cpp - what the admin's import, export, check and repair
 * routes do, the notices as CSV and the compiled-in static files, a refusal
 * at the desk answered with the desk page, and the log line.
 */
#include <algorithm>
#include <fstream>
#include <optional>

#include "export.hpp"
#include "notices.hpp"
#include "static_files.hpp"
#include "web_fixture.hpp"

namespace web_test {
namespace {

/* The text of the page's role="alert" region; "" when it has none. */
std::string alert_of(const std::string& html)
{
    const std::size_t at = html.find("role=\"alert\"");
    if (at == std::string::npos)
        return {};
    return html.substr(at, html.find("</div>", at) - at);
}

TEST_F(WebDeskTest, AnImportIsPreviewedThenCommittedWhole)
{
    const Login ann = start_as("ann");
    struct Case {
        const char* csv;
        const char* kind;
        const char* commit;
        int status;
        std::size_t books, users; /* after */
        const char* told;
    } cases[] = {
        {kNewBook, "books", "0", 200, 3, 2, "Nothing has been changed yet"},
        {kNewBook, "books", "1", 200, 4, 2, "sheet.csv imported: 1 added"},
        {"title,author,genre\nLilith,O. Butler,sf\n  ,Nobody,sf\n", "books", "1", 409, 4, 2,
         "nothing imported: 1 row refused"},
        {"author\nNobody\n", "books", "1", 409, 4, 2, "title"},
        {"name,address,phone\nCy Young,3 Elm St,+34 91 234 56 70\n", "users", "1", 200, 4, 3,
         "sheet.csv imported: 1 added"},
        {kNewBook, "shelves", "1", 400, 4, 3, "books or members"},
    };
    for (const Case& c : cases) {
        const auto res =
            answered(post_upload("/admin/import", import_form(c.csv, c.kind, c.commit), ann),
                     c.status, c.csv);
        EXPECT_TRUE(has(res.body, c.told)) << c.csv << res.body;
        auto lib = committed();
        EXPECT_EQ(lib->books().all().size(), c.books) << c.csv;
        EXPECT_EQ(lib->users().all().size(), c.users) << c.csv;
    }
}

TEST_F(WebDeskTest, ExportsAreWhatTheEngineWritesForTheCommandLine)
{
    const Login ann = start_as("ann");
    answered(post_form("/desk/scan", "user=1&scan=1", ann), 200, "lend");
    const std::pair<const char*, desk::ExportKind> kinds[] = {
        {"books", desk::ExportKind::books},
        {"users", desk::ExportKind::users},
        {"loans", desk::ExportKind::loans},
    };
    for (const auto& [name, kind] : kinds) {
        const auto res =
            answered(get(std::string("/admin/export/") + name + ".csv", ann), 200, name);
        EXPECT_EQ(res.get_header_value("Content-Disposition"),
                  std::string("attachment; filename=\"") + name + ".csv\"");
        auto lib = committed();
        const std::string expected = desk::collected(
            [&](desk::TextSink& out) { desk::export_csv(*lib, kind, desk::today(), false, out); });
        EXPECT_EQ(res.body, expected) << name;
        EXPECT_GT(std::count(res.body.begin(), res.body.end(), '\n'), 1) << name;
    }
}

TEST_F(WebDeskTest, ARefusalAtTheDeskShowsTheDeskAgainWithTheReason)
{
    const Login bob = start_as("bob");
    struct Case {
        const char* path;
        const char* form;
        int status;
        const char* reason;
        bool member_kept;
    } cases[] = {
        {"/desk/scan", "user=1&scan=3", 409, "no copy of book 3 (Zero) is on the shelf", true},
        {"/desk/scan", "user=1&scan=99", 404, "no book 99", true},
        {"/desk/scan", "user=1&scan=3x", 400, "scan must be a number", true},
        {"/desk/return", "book=2", 409, "book 2 has no loan out", false},
        {"/desk/return", "user=2&book=1", 409, "user 2 holds no copy of book 1", true},
        {"/loans/99/renew", "", 404, "no loan 99", false},
    };
    for (const Case& c : cases) {
        const auto res = answered(post_form(c.path, c.form, bob), c.status, c.reason);
        EXPECT_TRUE(has(res.body, "<h1>Desk</h1>")) << c.reason;
        EXPECT_TRUE(has(alert_of(res.body), c.reason)) << res.body;
        EXPECT_EQ(has(res.body, "Lending to"), c.member_kept) << c.reason;
    }
    EXPECT_TRUE(committed()->open_loans().empty());
}

TEST_F(WebDeskTest, CheckAndRepairTellTheirFindingsOnTheAdminPage)
{
    const Login ann = start_as("ann");
    struct Case {
        const char* path;
        bool damaged;
        const char* note;  /* in the notes; "" for none */
        const char* alert; /* in the alert region; "" for none */
    } cases[] = {
        {"/admin/check", false, "the library is consistent: 3 books, 2 users, 0 loans", ""},
        {"/admin/repair", false, "nothing needed repair", ""},
        {"/admin/check", true, "", "books.csv:"},
        {"/admin/repair", true, "", "books.csv:"},
    };
    for (const Case& c : cases) {
        if (c.damaged) {
            std::ofstream(folder_ + "/books.csv", std::ios::app) << "not a book\n";
        }
        const auto res = answered(post_form(c.path, "", ann), 200, c.path);
        EXPECT_TRUE(has(res.body, "<h1>Admin</h1>")) << c.path;
        EXPECT_TRUE(has(res.body, c.note)) << c.path;
        const std::string alert = alert_of(res.body);
        EXPECT_EQ(alert.empty(), *c.alert == '\0') << c.path << alert;
        EXPECT_TRUE(has(alert, c.alert)) << c.path;
    }
}

/* The notices as CSV for a mail merge (to bob) and the compiled-in static
 * files (to anyone), each with its type and what it begins with. */
TEST_F(WebDeskTest, FilesComeWithTheirTypes)
{
    const Login bob = start_as("bob");
    answered(post_form("/desk/scan", "user=2&scan=2", bob), 200, "lend");
    const char* const notices = "kind,loan,hold,book,title,due,days,user,name,phone,address\n";
    struct Case {
        const char* path;
        int status;
        const char* type;
        const char* starts;
    } cases[] = {
        {"/notices.csv", 200, "text/csv", notices},
        {"/notices.csv?within=365", 200, "text/csv", notices},
        {"/notices.csv?within=366", 409, "text/html", "<!doctype html>"},
        {"/notices.csv?within=x", 400, "text/html", "<!doctype html>"},
        {"/static/desk.css", 200, "text/css; charset=utf-8", ""},
        {"/static/desk.js", 200, "text/javascript; charset=utf-8", ""},
        {"/static/other.js", 404, "application/json", ""},
        {"/static/../CMakeLists.txt", 404, "application/json", ""},
    };
    for (const Case& c : cases) {
        const bool shared = std::string(c.path).starts_with("/static/");
        const auto res = answered(get(c.path, shared ? Login{} : bob), c.status, c.path);
        EXPECT_TRUE(res.get_header_value("Content-Type").starts_with(c.type)) << c.path;
        EXPECT_TRUE(res.body.starts_with(c.starts)) << c.path << res.body;
        if (shared && c.status == 200) {
            const web::StaticFile* file = web::static_file(std::string(c.path).substr(8));
            ASSERT_NE(file, nullptr) << c.path;
            EXPECT_EQ(res.body, file->text) << c.path;
            EXPECT_GT(res.body.size(), 100u) << c.path;
        }
    }
    EXPECT_TRUE(has(get("/notices.csv?within=365", bob)->body, "Ben Okri"));
}

TEST(WebLog, TheLineTellsTheTimeTakenAndNothingAClientCouldForge)
{
    using std::chrono::milliseconds;
    struct Case {
        const char* method;
        std::string path;
        int status;
        std::optional<milliseconds> took;
        std::string line;
    } cases[] = {
        {"GET", "/desk", 200, milliseconds{3}, "GET /desk 200 3ms\n"},
        {"POST", "/desk/scan", 409, milliseconds{0}, "POST /desk/scan 409 0ms\n"},
        {"GET", "/x\n2026 GET /admin", 404, milliseconds{12}, "GET /x?2026 GET /admin 404 12ms\n"},
        {"GET", "/bad", 400, std::nullopt, "GET /bad 400 -\n"},
        {"GET", "/" + std::string(300, 'a'), 404, milliseconds{1},
         "GET /" + std::string(199, 'a') + " 404 1ms\n"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(web::log_line(c.method, c.path, c.status, c.took), c.line);
}

} // namespace
} // namespace web_test
