/*
 * pages_test.cpp - what every page must do whatever it shows: write each
 * hostile text escaped and never as markup, carry the token in every form
 * that posts, and label every field.
 */
#include <gtest/gtest.h>

#include <functional>
#include <set>

#include "page_fixture.hpp"

namespace desk::web::test {
namespace {

/* A page as rendered for the tests, and the hostile fields it shows. */
struct Rendered {
    const char* page;
    std::string html;
    std::vector<std::string> fields;
};

/* Every page, for `frame`, from the hostile library. */
std::vector<Rendered> every_page(const Frame& frame)
{
    const auto lib = hostile_library();
    ImportReport report;
    report.text = "sheet:2: " + hostile("report") + "\n";
    report.added = 1;
    report.refused = 1;
    const std::vector<std::string> framed = {"clerk", "note", "error"};
    const auto with_frame = [&](std::vector<std::string> fields) {
        fields.insert(fields.end(), framed.begin(), framed.end());
        return fields;
    };
    const Period all{};
    std::vector<Rendered> out = {
        {"login", login_page(hostile("login"), frame.csrf), {"login"}},
        {"desk", desk_page(frame, *lib, 1, kToday), with_frame({"name", "title"})},
        {"desk pick", desk_page(frame, *lib, {}, kToday, hostile("name")), with_frame({"name"})},
        {"search", search_page(frame, *lib, "script"),
         with_frame({"title", "author", "genre", "name"})},
        {"book", book_page(frame, *lib, 1, kToday),
         with_frame({"title", "author", "genre", "name"})},
        {"user", user_page(frame, *lib, 1, kToday),
         with_frame({"name", "address", "title", "reason"})},
        {"notices", notices_page(frame, *lib, kToday, 3), with_frame({"title", "name", "address"})},
        {"reports by genre", reports_page(frame, *lib, all, CountBy::genre),
         with_frame({"genre", "title", "author"})},
        {"error", error_page(frame, 404, hostile("message")), with_frame({"message"})},
    };
    if (frame.admin) {
        out.push_back({"admin", admin_page(frame, *lib, {{hostile("staff"), Role::admin}}),
                       with_frame({"staff"})});
        out.push_back({"import preview",
                       import_preview_page(frame, ImportKind::users, hostile("sheet"), report),
                       with_frame({"sheet", "report"})});
    }
    return out;
}

std::vector<Rendered> pages_for_both_roles()
{
    std::vector<Rendered> out = every_page(hostile_frame(true));
    for (Rendered& page : every_page(hostile_frame(false)))
        out.push_back(std::move(page));
    return out;
}

TEST(Pages, HostileTextsAreWrittenEscapedAndNeverAsMarkup)
{
    for (const Rendered& page : pages_for_both_roles()) {
        EXPECT_EQ(page.html.find("<script>alert"), std::string::npos) << page.page;
        for (auto& script : tags(page.html, "script"))
            EXPECT_FALSE(script["src"].empty()) << page.page << ": a script in the page";
        for (const std::string& field : page.fields)
            EXPECT_EQ(page.html.find(hostile(field)), std::string::npos) << page.page << field;
        for (const std::string& field : page.fields)
            EXPECT_NE(page.html.find(escaped(field)), std::string::npos)
                << page.page << " does not show the " << field;
    }
}

TEST(Pages, EveryFormThatPostsCarriesTheToken)
{
    for (const Rendered& page : pages_for_both_roles()) {
        std::size_t posting = 0;
        for (const std::string& form : forms(page.html)) {
            if (tags(form, "form").front()["method"] != "post")
                continue;
            ++posting;
            EXPECT_NE(form.find(R"(<input type="hidden" name="csrf" value="tok-8f3a">)"),
                      std::string::npos)
                << page.page << ": " << form.substr(0, 80);
        }
        EXPECT_GT(posting, 0u) << page.page << " has no form that posts";
    }
}

TEST(Pages, EveryFieldHasALabel)
{
    for (const Rendered& page : pages_for_both_roles()) {
        std::set<std::string> labelled, ids;
        for (auto& label : tags(page.html, "label"))
            labelled.insert(label["for"]);
        for (const char* kind : {"input", "select", "textarea"}) {
            for (auto& field : tags(page.html, kind)) {
                if (field["type"] == "hidden")
                    continue;
                EXPECT_TRUE(labelled.count(field["id"]) == 1 && !field["id"].empty())
                    << page.page << ": a " << kind << " named " << field["name"] << " has no label";
                EXPECT_TRUE(ids.insert(field["id"]).second)
                    << page.page << ": id " << field["id"] << " twice";
            }
        }
    }
}

TEST(Pages, ShowTheNavigationAndTheMessagesOfTheLastAction)
{
    for (const Rendered& page : pages_for_both_roles()) {
        if (std::string(page.page) == "login")
            continue;
        const std::size_t alert = page.html.find(R"(role="alert")");
        EXPECT_NE(alert, std::string::npos) << page.page;
        EXPECT_LT(alert, page.html.find(escaped("error"))) << page.page;
        EXPECT_NE(page.html.find(R"(<form class="logout" method="post" action="/logout">)"),
                  std::string::npos)
            << page.page;
        EXPECT_NE(page.html.find(R"(href="/static/desk.css")"), std::string::npos) << page.page;
        EXPECT_EQ(page.html.find("style="), std::string::npos) << page.page << ": inline style";
    }
}

} // namespace
} // namespace desk::web::test
