/*
 * page_rules_test.cpp - what particular pages must show: overdue loans
 * marked in words, admin forms and links only for admins, money in the policy's
 * currency, the folding search, the import's counts, and refusals of
 * records that do not exist and of admin pages to the desk.
 */
#include <gtest/gtest.h>

#include <functional>

#include "failure.hpp"
#include "page_fixture.hpp"
#include "policy.hpp"

namespace desk::web::test {
namespace {

/* The `<tr>...</tr>` of `html` holding `needle`, or "". */
std::string row_with(const std::string& html, const std::string& needle)
{
    const std::size_t at = html.find(needle);
    if (at == std::string::npos)
        return {};
    const std::size_t begin = html.rfind("<tr", at), end = html.find("</tr>", at);
    return html.substr(begin, end - begin);
}

TEST(DeskPage, MarksOverdueLoansWithAClassAndInWords)
{
    /* Lent 28 days before their due dates: due yesterday, today, tomorrow. */
    auto store = std::make_unique<desk::test::MemoryStore>();
    store->users = {{1, "Reader", "1 Main St", "+34 91 234 56 78"}};
    const struct {
        const char* lent;
        bool overdue;
    } cases[] = {{"09/02/2026", true}, {"10/02/2026", false}, {"11/02/2026", false}};
    for (std::size_t book = 1; book <= std::size(cases); ++book)
        store->books.push_back({book, "Book", "Author", "Novel", 1, 1});
    auto lib = Library::open(std::move(store));
    for (std::size_t i = 0; i < std::size(cases); ++i)
        checkout(*lib, i + 1, 1, day(cases[i].lent), {});
    const std::string html = desk_page(hostile_frame(false), *lib, 1, kToday);
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        const std::string row = row_with(html, "/loans/" + std::to_string(i + 1) + "/renew");
        ASSERT_FALSE(row.empty()) << "loan " << i + 1;
        EXPECT_EQ(row.find(R"(class="overdue")") != std::string::npos, cases[i].overdue)
            << cases[i].lent;
        EXPECT_EQ(row.find(">overdue, 1 day late<") != std::string::npos, cases[i].overdue)
            << cases[i].lent;
    }
}

TEST(Pages, RecordsThatDoNotExistAndAdminPagesForTheDeskAreRefused)
{
    const auto lib = hostile_library();
    const Frame frame = hostile_frame(true), at_desk = hostile_frame(false);
    const struct {
        const char* what;
        std::function<void()> render;
    } cases[] = {
        {"book 99", [&] { book_page(frame, *lib, 99, kToday); }},
        {"book 0", [&] { book_page(frame, *lib, 0, kToday); }},
        {"user 99", [&] { user_page(frame, *lib, 99, kToday); }},
        {"desk user 99", [&] { desk_page(frame, *lib, 99, kToday); }},
        {"notices a year and a day", [&] { notices_page(frame, *lib, kToday, 366); }},
        {"admin for the desk", [&] { admin_page(at_desk, *lib, {}); }},
        {"import preview for the desk",
         [&] { import_preview_page(at_desk, ImportKind::books, "s.csv", ImportReport{}); }},
    };
    for (const auto& c : cases) {
        try {
            c.render();
            ADD_FAILURE() << c.what << " rendered";
        } catch (const Failure& failure) {
            EXPECT_EQ(failure.status(), kRefused) << c.what << ": " << failure.what();
        }
    }
}

TEST(Pages, ShowWhatTheEngineFinds)
{
    const auto lib = hostile_library("GBP");
    const Frame frame = hostile_frame(true), at_desk = hostile_frame(false);
    const std::string admin_action = R"(action="/admin)";
    const std::string owed = format_amount(balance_of(*lib, 1)) + " GBP";
    ImportReport report;
    report.text = "users.csv:2: added\nusers.csv:3: a name may not be blank\n";
    report.added = 4;
    report.refused = 1;
    const struct {
        const char* page;
        std::string html;
        std::vector<std::string> shows, hides;
    } cases[] = {
        {"user balance",
         user_page(frame, *lib, 1, kToday),
         {"Balance: <strong>" + owed + "</strong>", R"(action="/fines/pay")", "waived: ",
          R"(action="/admin/users/1")", R"(action="/admin/users/1/remove")", "/waive\""},
         {}},
        {"user for the desk", user_page(at_desk, *lib, 1, kToday), {}, {admin_action, "/waive\""}},
        {"user who owes nothing",
         user_page(frame, *lib, 3, kToday),
         {"Balance: <strong>0.00 GBP</strong>", R"(action="/holds/1/cancel")"},
         {R"(action="/fines/pay")"}},
        {"desk member owes",
         desk_page(frame, *lib, 1, kToday),
         {"owes " + owed, R"(name="user" value="1")"},
         {}},
        {"search folds accents",
         search_page(frame, *lib, "GARCIA marq"),
         {R"(href="/books/2")", "Books (1)", "Members (0)"},
         {R"(href="/books/3")"}},
        {"search of no word", search_page(frame, *lib, "--"), {"at least one word"}, {"Books ("}},
        {"desk picks a member",
         desk_page(frame, *lib, {}, kToday, "reader"),
         {R"(href="/desk?user=2")", R"(href="/desk?user=3")", R"(href="/admin")"},
         {R"(href="/desk?user=1")"}},
        {"desk for the desk",
         desk_page(at_desk, *lib, {}, kToday),
         {},
         {R"(href="/admin")", admin_action}},
        {"book holds queue",
         book_page(frame, *lib, 1, kToday),
         {R"(href="/users/3")", "queued", R"(name="book" value="1")", R"(action="/admin/books/1")",
          R"(action="/admin/books/1/remove")"},
         {}},
        {"book for the desk", book_page(at_desk, *lib, 1, kToday), {}, {admin_action}},
        {"notices",
         notices_page(frame, *lib, kToday, 3),
         {"Overdue (1)", "+34 91 234 56 78", R"(href="/notices.csv?within=3")"},
         {}},
        {"reports by month",
         reports_page(frame, *lib, Period{}, CountBy::month),
         {"2026-01", "2026-03", R"(<option value="month" selected>)"},
         {}},
        {"admin policy",
         admin_page(frame, *lib, {{"ann", Role::admin}}),
         {"<dd>0.50 GBP</dd>", "<dd>no limit</dd>", "<td>ann</td><td>Admin</td>",
          R"(enctype="multipart/form-data")", R"(href="/admin/export/books.csv")"},
         {}},
        {"error", error_page(frame, 404, "no book 7"), {"404 Not found", "no book 7"}, {}},
        {"import preview counts and warns",
         import_preview_page(frame, ImportKind::users, "users.csv", report),
         {"<td>added</td><td class=\"number\">4</td>",
          "<td>refused</td><td class=\"number\">1</td>", "1 row is refused",
          "<li>users.csv:3: a name may not be blank</li>", R"(<option value="users" selected>)",
          R"(value="1">Import)"},
         {}},
    };
    for (const auto& c : cases) {
        for (const std::string& needle : c.shows)
            EXPECT_NE(c.html.find(needle), std::string::npos) << c.page << " lacks " << needle;
        for (const std::string& needle : c.hides)
            EXPECT_EQ(c.html.find(needle), std::string::npos) << c.page << " shows " << needle;
    }
}

} // namespace
} // namespace desk::web::test
